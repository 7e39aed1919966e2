#include "lab/testsupport/qt/simFrames.h"

namespace twltest {

QStringList SimFrames(const SimProcess& sim)
{
    QStringList frames;
    for (const std::string& line : sim.frameLog())
        if (!line.empty())
            frames << QString::fromStdString(line);
    return frames;
}

} // namespace twltest
