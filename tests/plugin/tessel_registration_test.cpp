// What tessel registers with the host at load: classes, members, declarations, constants.

#include "pm_init_count.h"
#include "tessel_client.h"

#include <cstring>

using namespace tesseltest;

namespace
{

const REALclassDefinition *definition(const char *name)
{
    loadTessel();
    const rb::PluginHost::ClassInfo *c = host().findClass(QString::fromLatin1(name));
    return c ? c->definition : nullptr;
}

std::vector<std::string> methodDeclarations(const REALclassDefinition *def)
{
    std::vector<std::string> out;
    for (uint32_t i = 0; i < def->methodCount; ++i)
        out.emplace_back(def->methods[i].declaration ? def->methods[i].declaration : "<nil>");
    return out;
}

std::vector<std::string> constantDeclarations(const REALclassDefinition *def)
{
    std::vector<std::string> out;
    for (uint32_t i = 0; i < def->constantCount; ++i)
        out.emplace_back(def->constants[i].declaration ? def->constants[i].declaration : "<nil>");
    return out;
}

struct PropertyRow {
    std::string name, type;
    uint32_t flags;
    bool setter;
};

std::vector<PropertyRow> properties(const REALclassDefinition *def)
{
    std::vector<PropertyRow> out;
    for (uint32_t i = 0; i < def->propertyCount; ++i) {
        const REALproperty &p = def->properties[i];
        out.push_back({p.name, p.type, p.flags, p.setter != nullptr});
        EXPECT_NE(p.getter, nullptr) << p.name;
        EXPECT_EQ(p.group, nullptr) << p.name;
        EXPECT_EQ(p.param, 0) << p.name;
    }
    return out;
}

bool operator==(const PropertyRow &a, const PropertyRow &b)
{
    return a.name == b.name && a.type == b.type && a.flags == b.flags && a.setter == b.setter;
}

void PrintTo(const PropertyRow &p, std::ostream *os)
{
    *os << p.name << ':' << p.type << '/' << p.flags << (p.setter ? " rw" : " r");
}

} // namespace

TEST(Registration, FourClassesInOrderWithSizesRoundedTo16)
{
    loadTessel();
    std::vector<std::pair<std::string, uint32_t>> got;
    for (const auto *c : host().registeredClasses())
        got.emplace_back(c->name, c->dataSize);
    const std::vector<std::pair<std::string, uint32_t>> expected = {{"PortMidiStreamTSL", 16},
                                                                    {"PortMidiEventTSL", 16},
                                                                    {"PortMidiTSL", 0},
                                                                    {"PortMidiDeviceInfoTSL", 16}};
    EXPECT_EQ(got, expected);
    for (const auto *c : host().registeredClasses()) {
        SCOPED_TRACE(c->name);
        const REALclassDefinition *def = c->definition;
        ASSERT_NE(def, nullptr);
        EXPECT_EQ(def->dataSize, c->dataSize) << "the rounded size is written into the definition";
        EXPECT_EQ(def->version, 9u);
        EXPECT_EQ(def->flags, 4u);
        EXPECT_EQ(def->superName, nullptr);
        EXPECT_EQ(def->events, nullptr);
        EXPECT_EQ(def->eventCount, 0u);
        EXPECT_EQ(def->reserved1, 0u);
        EXPECT_EQ(def->reserved2, 0u);
        for (uint32_t i = 0; i < def->methodCount; ++i) {
            EXPECT_EQ(def->methods[i].flags, 4u) << def->methods[i].declaration;
            EXPECT_NE(def->methods[i].function, nullptr) << def->methods[i].declaration;
            EXPECT_EQ(def->methods[i].reserved1, nullptr);
            EXPECT_EQ(def->methods[i].reserved2, 0u);
        }
    }
}

TEST(Registration, PluginVersionNineAndOnlyKnownCallbacks)
{
    loadTessel();
    EXPECT_EQ(host().pluginVersions(), std::vector<int32_t>{9});
    EXPECT_EQ(host().unknownCallbacks(), std::vector<std::string>{});
}

TEST(Registration, InRuntimeHostGetsPortMidiInitialisedAtLoad)
{
    loadTessel();
    EXPECT_EQ(initCountAfterLoad(), 1);
}

TEST(Registration, ConstructorsAndDestructors)
{
    const REALclassDefinition *stream = definition("PortMidiStreamTSL");
    const REALclassDefinition *event = definition("PortMidiEventTSL");
    const REALclassDefinition *list = definition("PortMidiTSL");
    const REALclassDefinition *info = definition("PortMidiDeviceInfoTSL");
    ASSERT_TRUE(stream && event && list && info);
    EXPECT_NE(stream->constructor, nullptr);
    EXPECT_NE(stream->destructor, nullptr);
    // The destructor is the routine of Close.
    EXPECT_EQ(reinterpret_cast<REALproc>(stream->destructor), stream->methods[0].function);
    EXPECT_EQ(event->constructor, nullptr);
    EXPECT_EQ(event->destructor, nullptr);
    EXPECT_NE(list->constructor, nullptr);
    EXPECT_EQ(list->destructor, nullptr);
    EXPECT_EQ(info->constructor, nullptr);
    EXPECT_EQ(info->destructor, nullptr);
}

TEST(Registration, MethodDeclarationsCharacterForCharacter)
{
    const std::vector<std::pair<const char *, std::vector<std::string>>> expected = {
        {"PortMidiStreamTSL",
         {"Close", "Abort as integer", "ErrorText(ErrorNumber as integer) as string",
          "SetChannelMask(mask as integer) as integer", "SetFilter(filters as integer) as integer",
          "Poll as integer", "WriteSysEx(When as integer, message as string) as integer",
          "WriteSysEx(When as integer, message as memoryblock, offset as integer) as integer",
          "WriteShort(When as integer, message as integer) as integer",
          "Write(data as PortMidiEventTSL) as integer", "Read(byref data as PortMidiEventTSL) as integer",
          "OpenInput(DeviceID as integer, Buffersize as integer) as integer",
          "OpenOutput(DeviceID as integer, Buffersize as integer, Latency as integer) as integer"}},
        {"PortMidiEventTSL",
         {"Set(status as integer, data1 as integer, data2 as integer)",
          "SetRaw(data0 as integer, data1 as integer, data2 as integer, data3 as integer)"}},
        {"PortMidiTSL",
         {"ReInitialize as integer", "CountDevices as integer", "DefaultInputDeviceID as integer",
          "DefaultOutputDeviceID as integer", "DeviceInfo(DeviceID as integer) as PortMidiDeviceInfoTSL",
          "ErrorText(ErrorNumber as integer) as string"}},
        {"PortMidiDeviceInfoTSL", {}},
    };
    for (const auto &[cls, methods] : expected) {
        const REALclassDefinition *def = definition(cls);
        ASSERT_NE(def, nullptr) << cls;
        EXPECT_EQ(methodDeclarations(def), methods) << cls;
    }
    // One routine serves both ErrorText members.
    EXPECT_EQ(definition("PortMidiStreamTSL")->methods[2].function,
              definition("PortMidiTSL")->methods[5].function);
}

TEST(Registration, PropertiesWithTypesFlagsAndAccessors)
{
    using P = PropertyRow;
    const std::vector<std::pair<const char *, std::vector<PropertyRow>>> expected = {
        {"PortMidiStreamTSL", {P{"ChannelMask", "Integer", 0, false}, P{"Filters", "Integer", 0, false}}},
        {"PortMidiEventTSL",
         {P{"Status", "Integer", 6, true}, P{"Data1", "Integer", 6, true}, P{"Data2", "Integer", 6, true},
          P{"RawData0", "Integer", 6, true}, P{"RawData1", "Integer", 6, true},
          P{"RawData2", "Integer", 6, true}, P{"RawData3", "Integer", 6, true}, P{"When", "Integer", 6, true},
          P{"RawMessage", "Integer", 6, true}}},
        {"PortMidiTSL", {}},
        {"PortMidiDeviceInfoTSL",
         {P{"Name", "String", 6, false}, P{"InterfaceName", "String", 6, false},
          P{"HasInput", "Boolean", 6, false}, P{"HasOutput", "Boolean", 6, false}}},
    };
    for (const auto &[cls, props] : expected) {
        const REALclassDefinition *def = definition(cls);
        ASSERT_NE(def, nullptr) << cls;
        EXPECT_EQ(properties(def), props) << cls;
    }
    // Status/RawData0, Data1/RawData1 and Data2/RawData2 share their accessors; RawData3 has its own.
    const REALproperty *p = definition("PortMidiEventTSL")->properties;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(p[i].getter, p[i + 3].getter) << p[i].name;
        EXPECT_EQ(p[i].setter, p[i + 3].setter) << p[i].name;
    }
    EXPECT_NE(p[6].getter, p[5].getter);
}

TEST(Registration, ConstantsAsDeclaredIncludingTheirOddForms)
{
    const REALclassDefinition *list = definition("PortMidiTSL");
    const REALclassDefinition *stream = definition("PortMidiStreamTSL");
    ASSERT_TRUE(list && stream);
    EXPECT_EQ(
        constantDeclarations(list),
        (std::vector<std::string>{"pmNoError = 0", "pmHostError = -10000", "pmInvalidDeviceId = -9999",
                                  "pmInsufficientMemory = -9998", "pmBufferTooSmall = -9997",
                                  "pmBufferOverflow = -9996", "pmBadPtr = -9995", "pmBadData = -9994",
                                  "pmInternalError = -9993", "pmBufferMaxSize = -9992", "pmNoDevice = -1"}));
    // Two without "=", one with two blanks after it: the program knows them in exactly this form.
    EXPECT_EQ(constantDeclarations(stream), (std::vector<std::string>{"FilterActive = &h4000",
                                                                      "FilterSysEx = 1",
                                                                      "FilterClock &h1D00",
                                                                      "FilterPlay = &h400",
                                                                      "FilterTick = &h200",
                                                                      "FilterFD = &h2000",
                                                                      "FilterUndefined = &h2000",
                                                                      "FilterReset = &h8000",
                                                                      "FilterRealTime = &hFF01",
                                                                      "FilterNote =  &h3000000",
                                                                      "FilterChannelAftertouch = &h20000000",
                                                                      "FilterPolyAftertouch = &h4000000",
                                                                      "FilterAftertouch = &h6000000",
                                                                      "FilterProgram = &h10000000",
                                                                      "FilterControl &h8000000",
                                                                      "FilterPitchBend = &h40000000",
                                                                      "FilterMTC = 2",
                                                                      "FilterSongPosition = 4",
                                                                      "FilterSongSelect = 8",
                                                                      "FilterTune = &h40",
                                                                      "FilterSystemCommon = &h4E"}));
    EXPECT_EQ(definition("PortMidiEventTSL")->constantCount, 0u);
    EXPECT_EQ(definition("PortMidiDeviceInfoTSL")->constantCount, 0u);
}

TEST(Binding, EveryProgramDeclarationFindsItsEntry)
{
    loadTessel();
    ASSERT_EQ(programDeclarations().size(), 48u);
    for (const std::string &d : programDeclarations())
        EXPECT_NE(host().lookupEntrypoint(QString::fromStdString(d)), nullptr) << d;
    // Entry 0: the host's own routine, callable.
    REALproc zero = host().lookupEntrypoint(QStringLiteral("_"));
    ASSERT_NE(zero, nullptr);
    zero();
}

TEST(Binding, NearMissesFindNothing)
{
    loadTessel();
    for (const char *d : {
             "PortMidiStreamTSL.Poll as Integer",  // letter case
             "PortMidiStreamTSL.Poll  as integer", // one blank more
             "PortMidiStreamTSL.Poll",             // declaration cut short
             "PortMidiTSL.__exit",                 // no destructor
             "PortMidiEventTSL.__init",            // no constructor
             "PortMidiStreamTSL.ChannelMask.Set",  // read-only
             "PortMidiDeviceInfoTSL.Name.Set",     // read-only
             "PortMidiEventTSL.Status",            // no accessor named
             "NoSuchClass.__init",
             "PortMidiStreamTSL",
             "",
             "__",
         })
        EXPECT_EQ(host().lookupEntrypoint(QString::fromLatin1(d)), nullptr) << d;
}
