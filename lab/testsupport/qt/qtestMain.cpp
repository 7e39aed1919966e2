#include "lab/testsupport/qt/qtestMain.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace twltest {

namespace {

bool IsFixture(const QStringView name)
{
    return name == u"initTestCase" || name == u"cleanupTestCase" || name == u"init" || name == u"cleanup";
}

// From QtTest's JUnit report: no test function passed, one or more skipped.
bool AllSkipped(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QXmlStreamReader xml(&file);
    int passed = 0, skipped = 0;
    bool inCase = false, caseCounts = false, caseSkipped = false, caseFailed = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"testcase") {
            inCase = true;
            caseCounts = !IsFixture(xml.attributes().value("name"));
            caseSkipped = caseFailed = false;
        } else if (inCase && xml.isStartElement()) {
            if (xml.name() == u"skipped")
                caseSkipped = true;
            else if (xml.name() == u"failure" || xml.name() == u"error")
                caseFailed = true;
        } else if (xml.isEndElement() && xml.name() == u"testcase") {
            inCase = false;
            skipped += caseSkipped;
            if (caseCounts && !caseSkipped && !caseFailed)
                ++passed;
        }
    }
    return !xml.hasError() && passed == 0 && skipped > 0;
}

} // namespace

int QtExec(QObject* test, int argc, char** argv)
{
    QStringList args;
    bool ownLoggers = false;
    for (int i = 0; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
        ownLoggers = ownLoggers || args.last() == QLatin1String("-o");
    }
    QTemporaryDir dir;
    if (ownLoggers || !dir.isValid())
        return QTest::qExec(test, args);
    const QString report = dir.filePath(QStringLiteral("report.xml"));
    args << QStringLiteral("-o") << QStringLiteral("-,txt") << QStringLiteral("-o")
         << report + QStringLiteral(",junitxml");
    const int failed = QTest::qExec(test, args);
    // Any failure is 1: a count of 77 must not read as "skipped".
    if (failed != 0)
        return 1;
    return AllSkipped(report) ? SkipExitCode : 0;
}

std::string& PrivateNetworkProblem()
{
    static std::string problem = "not entered";
    return problem;
}

} // namespace twltest
