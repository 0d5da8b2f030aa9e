// The key table shared by the console and the robot for the password
// scrambling. Both ends must hold the same 353 characters; an operator whose
// robot was built with another table names a file holding it in
// VELCORA_KEY_FILE (see handshake.cpp).
#include "link/key_text.h"

namespace velcora {

// clang-format off
const char kBuiltInKeyText[] = "qA`]CEG,tk7@&'L,sT^L-LhDX]~fVp.]J6RS$(R*I.,9[&Z!Q)oDn7}>z>9e)c/J;,r5mN=rfl+L[V4t4iIeFD/tx(7%A];|xrdM}!VcH=ULrjQZ$]kMEPLdC`t>|]C^d5}c5byVFmB0Z=OGR^#^pdi%6TFvv+NlBu~|lWv0,hvd1|NoH`5QfmsawHZQs@A>.Yh#8n{'+gOi=_;q;F')N6=;CL(.X`}kP|FP/a1dCUr}6m_Ug%bGpN,`4fvN9o8W1i6@/XGdFO:qPhHa1Cq;8ap#9`O*>t)U$VXf(b~~!=>*7BG{n$5FT6M7Q!k^8tXbUdshd6b(K@4)HEWNwObTKl(,.Fxc2l>QL";
// clang-format on

static_assert(sizeof(kBuiltInKeyText) == kKeyLength + 1, "the key table has 353 characters");

}  // namespace velcora
