#include "ops/CountText.h"

std::string GroupThousands(long long Count) {
    const unsigned long long Magnitude = Count < 0 ? 0ull - static_cast<unsigned long long>(Count)
                                                   : static_cast<unsigned long long>(Count);
    std::string Digits = std::to_string(Magnitude);
    for (auto At = static_cast<long long>(Digits.size()) - 3; At > 0; At -= 3)
        Digits.insert(static_cast<std::size_t>(At), 1, ',');
    return Count < 0 ? '-' + Digits : Digits;
}
