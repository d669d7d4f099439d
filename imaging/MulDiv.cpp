#include "MulDiv.h"

#include <cstdlib>
#include <limits>

int32_t MulDiv(int32_t a, int32_t b, int32_t c)
{
    if (c == 0)
        return -1;
    const int64_t p = int64_t(a) * int64_t(b);
    int64_t q = p / c;
    const int64_t r = p % c;
    if (2 * std::llabs(r) >= std::llabs(int64_t(c)))
        q += ((p < 0) != (c < 0)) ? -1 : 1;
    if (q > std::numeric_limits<int32_t>::max() || q < std::numeric_limits<int32_t>::min())
        return -1;
    return int32_t(q);
}
