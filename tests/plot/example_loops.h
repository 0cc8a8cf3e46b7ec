// The cycles of the worked example as a loops file: the closed loop between
// entries 3 and 4, closed by entry 6, and the residue 0 -> 4 -> -5 as two
// half cycles. The damage values are made up, each a different size.
#pragma once

namespace plottest {

inline constexpr const char* kExampleLoops =
    "closing,b,c,count,strain_min,strain_max,stress_min,stress_max,strain_amplitude,"
    "stress_amplitude,mean_stress,parameter,cycles,damage\n"
    "6,3,4,1,-4,0,-160,90,2,125,-35,94.86832980505137,2500,0.0004\n"
    ",1,2,0.5,0,4,0,160,2,80,80,178.88543819998318,120,0.004166666666666667\n"
    ",2,6,0.5,-5,4,-170,160,4.5,165,-5,268.32815729997475,40,0.0125\n";

}  // namespace plottest
