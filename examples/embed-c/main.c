/* The worked example through the library: a backbone, a stepper fed in two
 * pieces, one line "strain stress" per entry. */
#include <hysteresis/hysteresis.h>
#include <stdio.h>

int main(void) {
  const float ey[] = {0, 1, 3, 6}, sy[] = {0, 100, 150, 180};
  const float strain[] = {9, 4, -4, 0, -3, -5};
  float stress[6];
  hys_backbone* backbone;
  hys_stepper* stepper;
  int status = hys_backbone_create(2, ey, sy, &backbone);
  if (status != HYS_OK) return fprintf(stderr, "%s\n", hys_status_text(status)), 1;
  hys_stepper_create(backbone, &stepper);
  hys_backbone_free(backbone);
  hys_stepper_feed(stepper, strain, stress, 2);
  hys_stepper_feed(stepper, strain + 2, stress + 2, 4);
  for (int i = 0; i < 6; ++i) printf("%g %g\n", i == 0 ? 0.0 : strain[i], stress[i]);
  hys_stepper_free(stepper);
  return 0;
}
