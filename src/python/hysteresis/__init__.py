"""The stress response of a backbone to a strain history, its closed loops and
the fatigue life, through the shared library libhysteresis (ctypes).

    import hysteresis
    stress = hysteresis.stress(ey, sy, strain)    # ey, sy: the backbone's points
    life = hysteresis.life(hysteresis.loops(strain, stress), E=206000, SF=1000, B=-0.1, EF=0.5, C=-0.6)

Strains and backbones may be lists (or any sequence of numbers),
array.array('f') or, when numpy is installed, numpy arrays; a float32 array
that is contiguous is read where it lies, anything else is converted once.
Stresses come back as numpy float32 arrays when numpy is installed, as
array.array('f') otherwise. The library is found through the environment
variable HYSTERESIS_LIBRARY (a path), beside the installed module, or on the
system's library path.
"""

import array
import collections
import ctypes
import ctypes.util
import math
import os

try:
    import numpy as _np
except ImportError:
    _np = None

__all__ = [
    "HysteresisError", "Point", "Loop", "Damage", "Life",
    "stress", "Stepper", "loops", "damages", "life", "library_version",
]

# ---- The library -------------------------------------------------------------

_OK = 0
_E_MEMORY = 8


class HysteresisError(ValueError):
    """Input the library refuses; `status` is the library's status number."""

    def __init__(self, message, status=None):
        super().__init__(message)
        self.status = status


def _library_path():
    explicit = os.environ.get("HYSTERESIS_LIBRARY")
    if explicit:
        return explicit
    try:
        from . import _location
        beside = os.path.normpath(os.path.join(os.path.dirname(__file__), _location.LIBRARY))
        if os.path.exists(beside):
            return beside
    except ImportError:
        pass
    return ctypes.util.find_library("hysteresis")


def _load():
    path = _library_path()
    if not path:
        raise ImportError("hysteresis: libhysteresis not found (set HYSTERESIS_LIBRARY to its path)")
    try:
        lib = ctypes.CDLL(path)
    except OSError as error:
        raise ImportError("hysteresis: cannot load %s: %s" % (path, error)) from error
    P = ctypes.c_void_p
    signatures = {
        "hys_status_text": (ctypes.c_char_p, [ctypes.c_int]),
        "hys_version": (ctypes.c_char_p, []),
        "hys_backbone_create": (ctypes.c_int, [ctypes.c_int32, P, P, ctypes.POINTER(P)]),
        "hys_backbone_free": (None, [P]),
        "hys_stepper_create": (ctypes.c_int, [P, ctypes.POINTER(P)]),
        "hys_stepper_feed": (ctypes.c_int, [P, P, P, ctypes.c_size_t]),
        "hys_stepper_entries": (ctypes.c_int64, [P]),
        "hys_stepper_reset": (None, [P]),
        "hys_stepper_free": (None, [P]),
        "hys_stress": (ctypes.c_int, [ctypes.c_int32, P, P, P, P, ctypes.c_size_t]),
        "hys_counter_create": (ctypes.c_int, [P, P, ctypes.POINTER(P)]),
        "hys_counter_feed": (ctypes.c_int, [P, P, P, ctypes.c_size_t]),
        "hys_counter_finish": (ctypes.c_int, [P, ctypes.c_int]),
        "hys_counter_free": (None, [P]),
        "hys_cycles_to_failure": (ctypes.c_int, [P, ctypes.c_int, ctypes.c_double,
                                                  ctypes.c_double, ctypes.c_double, P]),
        "hys_assess_loop": (ctypes.c_int, [P, ctypes.c_int, P, P]),
    }
    for name, (restype, argtypes) in signatures.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


_lib = _load()


def library_version():
    """The version of the loaded library, "MAJOR.MINOR"."""
    return _lib.hys_version().decode()


def _check(status, what):
    if status == _OK:
        return
    text = _lib.hys_status_text(status).decode()
    if status == _E_MEMORY:
        raise MemoryError("hysteresis: %s: %s" % (what, text))
    raise HysteresisError("hysteresis: %s: %s (status %d)" % (what, text, status), status)


# ---- Buffers -----------------------------------------------------------------

class _Floats:
    """A sequence of numbers as single-precision floats in memory: `address`
    and `length`, kept alive by `owner`."""

    def __init__(self, values, name):
        owner = None
        if _np is not None and isinstance(values, _np.ndarray):
            if values.ndim != 1:
                raise ValueError("hysteresis: %s must be one-dimensional, not %d-dimensional"
                                 % (name, values.ndim))
            if values.dtype.kind not in "fiu":
                raise TypeError("hysteresis: %s must hold numbers, not %s" % (name, values.dtype))
            owner = _np.ascontiguousarray(values, dtype=_np.float32)
            self.address, self.length = owner.ctypes.data, owner.shape[0]
        elif isinstance(values, array.array) and values.typecode == "f":
            owner = values
            self.address, self.length = values.buffer_info()
        else:
            if isinstance(values, (str, bytes)):
                raise TypeError("hysteresis: %s must be a sequence of numbers, not text" % name)
            try:
                owner = array.array("f", values)
            except TypeError as error:
                raise TypeError("hysteresis: %s must be a sequence of numbers (%s)"
                                % (name, error)) from None
            self.address, self.length = owner.buffer_info()
        self.owner = owner


def _output(length):
    """A zeroed float32 array of `length` and its address."""
    if _np is not None:
        result = _np.empty(length, dtype=_np.float32)
        return result, result.ctypes.data
    result = array.array("f", bytes(4 * length))
    return result, result.buffer_info()[0]


def _backbone(ey, sy):
    ey = _Floats(ey, "ey")
    sy = _Floats(sy, "sy")
    if ey.length != sy.length:
        raise ValueError("hysteresis: ey and sy must have the same length (%d and %d)"
                         % (ey.length, sy.length))
    if ey.length < 2:
        raise ValueError("hysteresis: a backbone needs at least 2 points, not %d" % ey.length)
    if ey.length - 2 > 0x7FFFFFFD:
        raise ValueError("hysteresis: a backbone of %d points is too long" % ey.length)
    return ey, sy


# ---- Stresses ----------------------------------------------------------------

def stress(ey, sy, strain):
    """The stresses of the path through `strain` on the backbone with points
    (ey[i], sy[i]), exactly as the program computes them: the first strain is
    taken as 0, its stress is 0."""
    ey, sy = _backbone(ey, sy)
    strain = _Floats(strain, "strain")
    result, address = _output(strain.length)
    _check(_lib.hys_stress(ey.length - 2, ey.address, sy.address, strain.address, address,
                           strain.length), "backbone")
    return result


class Stepper:
    """A path on a backbone, fed in pieces: feed() gives the stresses of each
    piece, the same as stress() gives for the whole path."""

    def __init__(self, ey, sy):
        self._stepper = None
        ey, sy = _backbone(ey, sy)
        backbone = ctypes.c_void_p()
        _check(_lib.hys_backbone_create(ey.length - 2, ey.address, sy.address,
                                        ctypes.byref(backbone)), "backbone")
        stepper = ctypes.c_void_p()
        status = _lib.hys_stepper_create(backbone, ctypes.byref(stepper))
        _lib.hys_backbone_free(backbone)
        _check(status, "stepper")
        self._stepper = stepper

    def _handle(self):
        if self._stepper is None:
            raise ValueError("hysteresis: the stepper is closed")
        return self._stepper

    def feed(self, strain):
        """The stresses of the next strains of the path."""
        handle = self._handle()
        strain = _Floats(strain, "strain")
        result, address = _output(strain.length)
        _check(_lib.hys_stepper_feed(handle, strain.address, address, strain.length), "feed")
        return result

    def reset(self):
        """Starts a new path at the origin."""
        _lib.hys_stepper_reset(self._handle())

    @property
    def entries(self):
        """The number of strains fed since the start of the path."""
        return _lib.hys_stepper_entries(self._handle())

    def close(self):
        if self._stepper is not None:
            _lib.hys_stepper_free(self._stepper)
            self._stepper = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        self.close()


# ---- Loops and life ----------------------------------------------------------

Point = collections.namedtuple("Point", "entry strain stress")
Point.__doc__ = "An entry of a path: its number from 1, strain and stress."
Loop = collections.namedtuple("Loop", "b c closing_entry count")
Loop.__doc__ = ("A counted cycle between the turning points b and c: a closed loop (count 1, "
                "closed by entry closing_entry) or a half cycle of the residue (count 0.5).")
Damage = collections.namedtuple(
    "Damage", "strain_amplitude stress_amplitude mean_stress max_stress parameter cycles damage")
Life = collections.namedtuple("Life", "damage repetitions loops")
Life.__doc__ = ("The Palmgren-Miner damage of one pass of the history, the passes to failure "
                "(inf without damage) and the Damage of each loop.")


class _CPoint(ctypes.Structure):
    _fields_ = [("entry", ctypes.c_int64), ("strain", ctypes.c_double),
                ("stress", ctypes.c_double)]


class _CLoop(ctypes.Structure):
    _fields_ = [("b", _CPoint), ("c", _CPoint), ("closing_entry", ctypes.c_int64),
                ("count", ctypes.c_double)]


class _CMaterial(ctypes.Structure):
    _fields_ = [(name, ctypes.c_double) for name in ("E", "SF", "B", "EF", "C")]


class _CDamage(ctypes.Structure):
    _fields_ = [(name, ctypes.c_double) for name in Damage._fields]


_LOOP_CALLBACK = ctypes.CFUNCTYPE(None, ctypes.POINTER(_CLoop), ctypes.c_void_p)
_RESIDUES = {"half": 0, "repeat": 1, "none": 2}
_PARAMETERS = {"swt": 0, "morrow": 1, "strain": 2}


def _choice(value, choices, name):
    try:
        return choices[value]
    except (KeyError, TypeError):
        raise ValueError("hysteresis: %s must be one of %s, not %r"
                         % (name, ", ".join(sorted(choices)), value)) from None


def loops(strain, stress, residue="half"):
    """The cycles of the path (strain[i], stress[i]) by the four-point rule on
    strains, as a list of Loop in the order they close; the turning points
    left open at the end give half cycles ("half"), run once more ("repeat")
    or are dropped ("none")."""
    mode = _choice(residue, _RESIDUES, "residue")
    strain = _Floats(strain, "strain")
    stress = _Floats(stress, "stress")
    if strain.length != stress.length:
        raise ValueError("hysteresis: strain and stress must have the same length (%d and %d)"
                         % (strain.length, stress.length))
    found = []

    def take(loop, _context):
        c = loop.contents
        found.append(Loop(Point(c.b.entry, c.b.strain, c.b.stress),
                          Point(c.c.entry, c.c.strain, c.c.stress), c.closing_entry, c.count))

    callback = _LOOP_CALLBACK(take)
    counter = ctypes.c_void_p()
    _check(_lib.hys_counter_create(callback, None, ctypes.byref(counter)), "loop count")
    try:
        _check(_lib.hys_counter_feed(counter, strain.address, stress.address, strain.length),
               "loop count")
        _check(_lib.hys_counter_finish(counter, mode), "loop count")
    finally:
        _lib.hys_counter_free(counter)
    return found


def _material(E, SF, B, EF, C):
    values = {"E": E, "SF": SF, "B": B, "EF": EF, "C": C}
    for name, value in values.items():
        if not isinstance(value, (int, float)) or isinstance(value, bool):
            raise TypeError("hysteresis: %s must be a number, not %r" % (name, value))
    return _CMaterial(**{name: float(value) for name, value in values.items()})


def damages(cycles, E, SF, B, EF, C, parameter="swt"):
    """The Damage of each Loop of `cycles` on the strain-life curve
    eps_a = SF / E * (2N)^B + EF * (2N)^C."""
    material = _material(E, SF, B, EF, C)
    kind = _choice(parameter, _PARAMETERS, "parameter")
    # The constants are checked even when there is no loop to assess.
    cycles_of_one = ctypes.c_double()
    _check(_lib.hys_cycles_to_failure(ctypes.byref(material), kind, 0.001, 1.0, 0.0,
                                      ctypes.byref(cycles_of_one)), "material")
    result = []
    for loop in cycles:
        c_loop = _CLoop(_CPoint(*loop.b), _CPoint(*loop.c), loop.closing_entry, loop.count)
        out = _CDamage()
        _check(_lib.hys_assess_loop(ctypes.byref(material), kind, ctypes.byref(c_loop),
                                    ctypes.byref(out)), "life")
        result.append(Damage(*(getattr(out, name) for name in Damage._fields)))
    return result


def life(cycles, E, SF, B, EF, C, parameter="swt"):
    """The Palmgren-Miner damage of the cycles (a list of Loop, as loops()
    gives them) and the number of passes of the history to failure."""
    each = damages(cycles, E, SF, B, EF, C, parameter)
    total = math.fsum(d.damage for d in each)
    return Life(total, 1.0 / total if total > 0 else math.inf, each)
