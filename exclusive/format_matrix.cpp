#include "exclusive/format_matrix.h"
