#include "module/stream.h"
