/* In the source tree, the installed header's "visatype.h" is the driver's own VISA base types
 * (installed under this name beside visa.h). Not installed itself. */
#include "zr48_visatype.h"
