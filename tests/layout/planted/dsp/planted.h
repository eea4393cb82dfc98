// dsp/ is plain C++17: no Windows header, and none of C either.
#include <windows.h>
#include <vector>
