#include "FPBGen.h"

#include <QScopeGuard>

namespace vocaset {

FPBGen::FPBGen(Session& session, QWidget* parent)
    : PhoneBookWindow(session, {"FPBGen", "PhoneBook Generation", true, "$$PBGEN", "FPBGEN_DONE", "%1 written"}, parent)
{
    finishLayout({});
}

PhoneBookSummary FPBGen::runEngine(RunLog& log, const PhoneBookRequest& request)
{
    PhoneBookGeneration run(m_s, log);
    m_run = &run;
    const auto clear = qScopeGuard([this] { m_run = nullptr; });
    return run.run(request);
}

void FPBGen::stop()
{
    if (m_run)
        m_run->requestStop();
}

} // namespace vocaset
