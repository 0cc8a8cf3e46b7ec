"""The Python module on the library: the stresses of every kind of input,
pieces against the whole, loops, life and the refusals."""
import array
import math
import random
import sys
import unittest

import hysteresis

try:
    import numpy
except ImportError:
    numpy = None

EY = [0, 1, 3, 6]
SY = [0, 100, 150, 180]
HISTORY = [9, 4, -4, 0, -3, -5]
STRESSES = [0, 160, -160, 90, -135, -170]


def random_job(rng):
    ey, sy = [0.0], [0.0]
    for i in range(1, rng.randrange(2, 60)):
        ey.append(ey[-1] + 0.001 + 0.01 * rng.random())
        sy.append(sy[-1] + (0.0 if i > 1 and rng.random() < 0.1 else 1 + 300 * rng.random() / i))
    reach = ey[-1] * 1.3
    strain = [reach * math.sin(0.05 * i) * rng.random() for i in range(rng.randrange(1, 3000))]
    return ey, sy, strain


class Stresses(unittest.TestCase):
    def test_worked_example_from_every_kind_of_sequence(self):
        kinds = [list, tuple, lambda v: array.array("f", v), lambda v: array.array("d", v)]
        if numpy is not None:
            kinds += [lambda v: numpy.array(v, dtype=numpy.float32),
                      lambda v: numpy.array(v, dtype=numpy.float64),
                      lambda v: numpy.repeat(numpy.array(v, dtype=numpy.float32), 2)[::2]]
        for kind in kinds:
            result = hysteresis.stress(kind(EY), kind(SY), kind(HISTORY))
            self.assertEqual(list(result), STRESSES)
            if numpy is not None:
                self.assertIsInstance(result, numpy.ndarray)
                self.assertEqual(result.dtype, numpy.float32)
            else:
                self.assertIsInstance(result, array.array)
                self.assertEqual(result.typecode, "f")

    def test_pieces_give_the_stresses_of_the_whole(self):
        rng = random.Random(22)
        for _ in range(20):
            ey, sy, strain = random_job(rng)
            whole = list(hysteresis.stress(ey, sy, strain))
            with hysteresis.Stepper(ey, sy) as stepper:
                pieces, done = [], 0
                while done < len(strain):
                    size = rng.randrange(0, 400)
                    pieces += list(stepper.feed(strain[done:done + size]))
                    done += size
                self.assertEqual(stepper.entries, len(strain))
                self.assertEqual(pieces, whole)
                stepper.reset()
                self.assertEqual(list(stepper.feed(strain)), whole)

    @unittest.skipIf(numpy is None, "numpy is not installed")
    def test_contiguous_float32_is_read_in_place(self):
        strain = numpy.zeros(10, dtype=numpy.float32)
        self.assertIs(hysteresis._Floats(strain, "strain").owner, strain)
        self.assertIsNot(hysteresis._Floats(strain[::2], "strain").owner, strain)

    def test_refusals(self):
        cases = [
            (EY, SY[:3], HISTORY, ValueError, "same length"),
            ([0], [0], HISTORY, ValueError, "at least 2 points"),
            (EY, SY, "0123", TypeError, "not text"),
            (EY, SY, [0, "x"], TypeError, "sequence of numbers"),
            ([0, 1, 1, 2], SY, HISTORY, hysteresis.HysteresisError, "strictly increasing"),
            ([1, 2, 3, 4], SY, HISTORY, hysteresis.HysteresisError, "origin"),
            (EY, [0, 100, 90, 180], HISTORY, hysteresis.HysteresisError, "stresses fall"),
            (EY, [0, 100, float("nan"), 180], HISTORY, hysteresis.HysteresisError, "not finite"),
        ]
        if numpy is not None:
            cases.append((EY, SY, numpy.zeros((2, 2)), ValueError, "one-dimensional"))
        for ey, sy, strain, error, text in cases:
            with self.subTest(text=text):
                with self.assertRaisesRegex(error, text):
                    hysteresis.stress(ey, sy, strain)
        with self.assertRaisesRegex(hysteresis.HysteresisError, "strictly increasing") as caught:
            hysteresis.Stepper([0, 1, 1, 2], SY)
        self.assertEqual(caught.exception.status, 5)
        stepper = hysteresis.Stepper(EY, SY)
        stepper.close()
        with self.assertRaisesRegex(ValueError, "closed"):
            stepper.feed(HISTORY)


MATERIAL = dict(E=206000.0, SF=1000.0, B=-0.1, EF=0.5, C=-0.6)


class LoopsAndLife(unittest.TestCase):
    # A path with an inner loop (entries 3 to 4, closed by 5) inside the loop
    # from 2 to 5 that entry 6 closes.
    STRAIN = [0, 0.004, 0.001, 0.003, 0.0005, 0.0045, -0.002]
    STRESS = [0, 300, -100, 150, -180, 310, -250]

    def test_inner_loop_and_residue(self):
        found = hysteresis.loops(self.STRAIN, self.STRESS)
        closed = [loop for loop in found if loop.count == 1]
        self.assertEqual([(loop.b.entry, loop.c.entry, loop.closing_entry) for loop in closed],
                         [(3, 4, 5), (2, 5, 6)])
        self.assertEqual(closed[1].c.stress, -180.0)
        self.assertTrue(all(loop.count == 0.5 for loop in found if loop not in closed))
        self.assertEqual(hysteresis.loops(self.STRAIN, self.STRESS, residue="none"), closed)
        kinds = [lambda v: array.array("f", v)]
        if numpy is not None:
            kinds.append(lambda v: numpy.array(v, dtype=numpy.float32))
        for kind in kinds:
            self.assertEqual(hysteresis.loops(kind(self.STRAIN), kind(self.STRESS)), found)

    def test_life_sums_the_damage_of_each_loop(self):
        found = hysteresis.loops(self.STRAIN, self.STRESS)
        for parameter in ("swt", "morrow", "strain"):
            result = hysteresis.life(found, parameter=parameter, **MATERIAL)
            self.assertGreater(result.damage, 0)
            self.assertAlmostEqual(result.damage, math.fsum(d.damage for d in result.loops))
            self.assertAlmostEqual(result.repetitions * result.damage, 1.0)
        nothing = hysteresis.life([], **MATERIAL)
        self.assertEqual((nothing.damage, nothing.repetitions), (0.0, math.inf))

    def test_refusals(self):
        with self.assertRaisesRegex(hysteresis.HysteresisError, "material"):
            hysteresis.life([], **dict(MATERIAL, B=0.1))
        with self.assertRaisesRegex(TypeError, "E must be a number"):
            hysteresis.life([], **dict(MATERIAL, E="steel"))
        with self.assertRaisesRegex(ValueError, "parameter must be one of"):
            hysteresis.life([], parameter="goodman", **MATERIAL)
        with self.assertRaisesRegex(ValueError, "residue must be one of"):
            hysteresis.loops([0], [0], residue="all")
        with self.assertRaisesRegex(ValueError, "same length"):
            hysteresis.loops([0, 1], [0])


if __name__ == "__main__":
    unittest.main()
