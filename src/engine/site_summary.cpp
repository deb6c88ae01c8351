#include "engine/site_summary.h"

namespace velmora {

TSiteSummary SummarizeSite(const std::vector<const TURLTaskInfo*>&,
                           const std::vector<TGroupRule>&) {
    return {};
}

}  // namespace velmora
