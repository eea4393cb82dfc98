// Planted lines for the random mutants: each rule where it applies, and lines it may not touch.
#include <vector>
#define CLAMP(a) ((a) < 3 ? 1 : 2)
#define SKIP_IF_SMALL(a) \
    if ((a) < 3) return 1;

namespace {
constexpr int kLimit = 0x7F;
constexpr double kScale = 0.5;  // 2 < 3 in a comment
bool operator<(const Planted& a, const Planted& b);
}  // namespace

int Planted(std::vector<int>& values, int count) {
    int total = 0;
    /* a block comment: if (count < 2) return 0;
       total = count == 1; */
    const char* text = "count < 2 && total == 1";
    const char* raw = R"(a "<" b)";
    std::vector<std::vector<int>> nested;
    auto&& first = values.front();
    auto &&last = values.back();
    total += '<' + 1'000;
    if (count < kLimit && total != 1) return -1;
    while (total >= count || count > 2)
        total += 2;
    for (int i = 0; i <= count; ++i) Record(values[i]);
    total = static_cast<int>(values.size());
    values.clear();
    total = count +
            Size(values);
    if (count == 3) {
        return count;
    }
    return total;
}
