// The show's default song: eleven orders that carry the picture schedule and end on the
// final chord at order 10, row 31.
#pragma once
#include "support/xm_writer.h"

XmModuleDesc composition_default_song();
