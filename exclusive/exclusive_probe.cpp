#include "exclusive/exclusive_probe.h"
