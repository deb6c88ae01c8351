#include "engine/metrica.h"

#include "engine/grid_columns.h"

namespace velmora {

int32_t ColNumByKey(std::string_view key) {
    if (key == MetricaTable[0].Key) return gcScore;
    for (size_t i = 1; i < MetricaTable.size(); ++i) {
        if (MetricaTable[i].Key == key) return gcFirstMetric + static_cast<int32_t>(i) - 1;
    }
    return -1;
}

}  // namespace velmora
