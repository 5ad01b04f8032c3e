#include "FPBImp.h"

#include <QScopeGuard>

namespace vocaset {

FPBImp::FPBImp(Session& session, QWidget* parent)
    : PhoneBookWindow(
          session, {"FPBImp", "PhoneBook Importation", true, "$$PBIMP", "FPBIMP_DONE", "%1 added or updated"}, parent)
{
    finishLayout({});
}

PhoneBookSummary FPBImp::runEngine(RunLog& log, const PhoneBookRequest& request)
{
    PhoneBookImport run(m_s, log);
    m_run = &run;
    const auto clear = qScopeGuard([this] { m_run = nullptr; });
    return run.run(request);
}

void FPBImp::stop()
{
    if (m_run)
        m_run->requestStop();
}

} // namespace vocaset
