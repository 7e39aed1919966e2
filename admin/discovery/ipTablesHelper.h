#pragma once
// The program's side of twl-route-helper: finds it, starts it, sends it one
// request at a time and waits, bounded, for each answer. The helper ends
// when it is stopped here, and removes what it wrote when this process ends
// without stopping it.
#include "admin/routehelper/routeProtocol.h"

#include <QString>
#include <sys/types.h>

class TRouteHelperLink {
public:
    // The environment variable that names the helper to use, ahead of the
    // places searched otherwise (tests, a helper installed elsewhere).
    static constexpr const char* PathVariable = "TWL_ROUTE_HELPER";
    static constexpr int AnswerTimeoutMs = 10000;

    TRouteHelperLink() = default;
    ~TRouteHelperLink();
    TRouteHelperLink(const TRouteHelperLink&) = delete;
    TRouteHelperLink& operator=(const TRouteHelperLink&) = delete;

    // Starts the helper unless it runs. False, with Problem() saying why,
    // when none can be run.
    bool Start();
    // Releases the helper (it removes what is still recorded) and waits for
    // its end.
    void Stop();
    bool Running() const { return m_fd >= 0; }

    // One request and its answer; NoHelper when the helper is not running or
    // did not answer in time (it is then stopped).
    routehelper::tANSWER Ask(const routehelper::tREQUEST& request);

    // Why host routes can't be written, for the operator; empty when they can.
    const QString& Problem() const { return m_problem; }
    // The helper in use or last looked at.
    const QString& Path() const { return m_path; }

private:
    // The first helper that can do the job: $TWL_ROUTE_HELPER, beside the
    // program, then where an install puts it.
    bool Locate();
    void Drop();

    QString m_path;
    QString m_problem;
    int m_fd = -1;
    pid_t m_pid = -1;
};
