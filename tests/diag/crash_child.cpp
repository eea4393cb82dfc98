// A small program linked with the self-installing crash reporter exactly as the real program
// is, that fails on purpose. Its one argument chooses how:
//   access   an access violation three calls deep (a write through a null pointer)
//   foreign  RaiseException with 0xE06D7363, the code of the runtime's C++ exceptions
//   stack    a stack overflow: a recursion that never ends
// Built with frame pointers kept, so that the frame-chain walk can follow its own frames.
#include <windows.h>

#include <cstring>

namespace {

constexpr DWORD kForeignCode = 0xE06D7363;

// volatile so that the compiler neither proves the write undefined nor merges the frames.
int* volatile nowhere = nullptr;
volatile int depth = 0;

__declspec(noinline) int Depth() { return depth; }

// Not a leaf function: GCC gives leaf functions no frame even with frame pointers kept.
__declspec(noinline) int WriteNowhere() {
    const int before = Depth();
    *nowhere = 1;
    return before + 1;
}

__declspec(noinline) int Middle() { return WriteNowhere() + depth; }

__declspec(noinline) int Outer() { return Middle() + depth; }

// Each call keeps a page of its own on the stack until the stack is gone.
__declspec(noinline) int Recurse(int level) {
    volatile char page[4096];
    page[0] = char(level);
    return depth >= 0 ? Recurse(level + 1) + page[0] : level;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "access") == 0) return Outer();
    if (argc > 1 && std::strcmp(argv[1], "stack") == 0) return Recurse(0);
    if (argc > 1 && std::strcmp(argv[1], "foreign") == 0) {
        RaiseException(kForeignCode, 0, 0, nullptr);
    }
    return 2;  // unknown request: no crash
}
