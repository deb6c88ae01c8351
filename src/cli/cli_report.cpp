#include "cli/cli_report.h"

#include "cli/cli_run.h"

namespace velmora::cli {

bool SaveReport(const std::string& path, TReportInput& input, const session::TRunSession& session,
                const std::vector<TGroupRule>& groupRules) {
    const TResult<> written = session::WriteReport(path, input, session, groupRules);
    if (!written) Complain(written.Error());
    return static_cast<bool>(written);
}

}  // namespace velmora::cli
