#include "platform/endpoint_services.h"
