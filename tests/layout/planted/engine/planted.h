// A wrong include the layout check must find.
#include "output/wave_file.h"
