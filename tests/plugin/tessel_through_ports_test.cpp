// Run with the simulated MIDI service preloaded in place of the machine's, as the through-ports run
// of the system-midi suites is: the ports the plug-in lists are exactly the ones KORVANE_SIM_DEVICES
// names, so that run met them. Without the list, or with a preload that did not take effect (the
// machine's own service lists other ports, or none), it fails.
#include "tessel_client.h"

#include <QString>
#include <QStringList>
#include <cstdlib>

using namespace tesseltest;

namespace
{

struct Port {
    QString name, interfaceName;
    bool input = false;
    bool operator==(const Port &) const = default;
};

void PrintTo(const Port &p, std::ostream *os)
{
    *os << (p.input ? "in " : "out ") << p.name.toStdString() << " (" << p.interfaceName.toStdString() << ")";
}

// The ports of the list as the simulated service reads it: in:<name>[:<interface>],
// out:<name>[:<interface>], and unit[:<behaviour>...] for the unit's pair.
std::vector<Port> portsNamedIn(const QString &list)
{
    std::vector<Port> ports;
    for (const QString &entry : list.split(u',')) {
        const QStringList fields = entry.split(u':');
        const QString interfaceName = fields.size() > 2 ? fields[2] : QStringLiteral("Simulated");
        if (fields[0] == u"unit") {
            ports.push_back({QStringLiteral("Simulated Unit In"), QStringLiteral("Simulated"), true});
            ports.push_back({QStringLiteral("Simulated Unit Out"), QStringLiteral("Simulated"), false});
        } else if ((fields[0] == u"in" || fields[0] == u"out") && fields.size() > 1 && !fields[1].isEmpty()) {
            ports.push_back({fields[1], interfaceName, fields[0] == u"in"});
        }
    }
    return ports;
}

TEST(ThroughPorts, ThePlugInListsThePortsThePreloadedServiceWasGiven)
{
    const char *list = std::getenv("KORVANE_SIM_DEVICES");
    ASSERT_NE(list, nullptr) << "run with the simulated service preloaded and KORVANE_SIM_DEVICES set";
    const std::vector<Port> expected = portsNamedIn(QString::fromLocal8Bit(list));
    ASSERT_FALSE(expected.empty()) << "KORVANE_SIM_DEVICES names no port: " << list;
    ASSERT_NO_FATAL_FAILURE(loadTessel());

    std::vector<Port> listed;
    for (int32_t id = 0; id < countDevices(); ++id) {
        const Obj info = deviceInfo(id);
        listed.push_back({stringGetter(info, "PortMidiDeviceInfoTSL.Name.Get"),
                          stringGetter(info, "PortMidiDeviceInfoTSL.InterfaceName.Get"),
                          boolGetter(info, "PortMidiDeviceInfoTSL.HasInput.Get")});
    }
    EXPECT_EQ(listed, expected);
}

} // namespace
