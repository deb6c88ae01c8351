#include "engine/metrica.h"

namespace velmora {

int32_t ColNumByKey(std::string_view key) {
    if (key == MetricaTable[0].Key) return kScoreColNum;
    for (size_t i = 1; i < MetricaTable.size(); ++i) {
        if (MetricaTable[i].Key == key) return static_cast<int32_t>(i) + 4;
    }
    return -1;
}

}  // namespace velmora
