// Defines our own ids (class, ITwinkla, type library), which the header that
// widl generates from the IDL only declares.
#include <initguid.h>

#include "twinkla_h.h"
