#include "entrypoints.h"

#include "rbframework/pluginhost.h"

#include <array>

namespace korvane::entrypoints
{

namespace
{

#define KORVANE_ENTRY_CHECK(name, declaration, signature)                                                    \
    static_assert(entrysignature::fits<signature>(declaration),                                              \
                  "the signature of " #name " does not fit \"" declaration "\"");
KORVANE_PLUGIN_ENTRIES(KORVANE_ENTRY_CHECK)
#undef KORVANE_ENTRY_CHECK

struct PluginEntry {
    const char *declaration;
    std::string_view signature;
};

constexpr PluginEntry pluginEntries[] = {
#define KORVANE_ENTRY_ROW(name, declaration, signature)                                                      \
    {declaration, entrysignature::Of<signature>::text.view()},
    KORVANE_PLUGIN_ENTRIES(KORVANE_ENTRY_ROW)
#undef KORVANE_ENTRY_ROW
};
static_assert(std::size(pluginEntries) == tableSize - firstPluginEntry);

std::array<REALproc, tableSize> table{};

const PluginEntry *pluginEntry(int index)
{
    return index >= firstPluginEntry && index < tableSize ? &pluginEntries[index - firstPluginEntry]
                                                          : nullptr;
}

} // namespace

QString declaration(int index)
{
    if (index == 0)
        return QStringLiteral("_");
    const PluginEntry *e = pluginEntry(index);
    return e ? QString::fromLatin1(e->declaration) : QString();
}

std::string_view signature(int index)
{
    const PluginEntry *e = pluginEntry(index);
    return e ? e->signature : std::string_view();
}

QString bind()
{
    QString missing;
    for (int i = 0; i < tableSize; ++i) {
        const QString decl = declaration(i);
        table[i] = decl.isEmpty() ? nullptr : rb::pluginHost().lookupEntrypoint(decl);
        if (!decl.isEmpty() && !table[i] && missing.isEmpty())
            missing = decl;
    }
    return missing;
}

REALproc entry(int index)
{
    return index >= 0 && index < tableSize ? table[index] : nullptr;
}

} // namespace korvane::entrypoints
