#pragma once
// The C signature a plug-in entry is called through, as text, both from a C++ function type and
// from the declaration string the entry is bound by, so that the two can be compared: as the
// program compiles, and against the declarations a loaded plug-in registered.
//
// The text names the return word, then the arguments: "integer(object, integer, integer)" for
// "PortMidiStreamTSL.OpenInput(DeviceID as integer, Buffersize as integer) as integer"; a routine
// without a result starts with "(". Integer is int32_t, Boolean RBBoolean, String, MemoryBlock and
// every class their REAL handles ("string", "memoryblock", "object"), byref the address of the
// variable ("byref object"). Every member takes its object first; a property accessor then takes
// the property's intptr_t parameter ("param"): "integer(object, param)" gets an Integer,
// "(object, param, integer)" sets one.

#include "rbframework/rbplugin.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace korvane::entrysignature
{

// A short text built in constant expressions; one that does not fit is not valid.
class Text
{
  public:
    constexpr void append(std::string_view s)
    {
        for (char c : s) {
            if (size_ == sizeof text_) {
                valid_ = false;
                return;
            }
            text_[size_++] = c;
        }
    }
    constexpr void invalidate() { valid_ = false; }
    constexpr std::string_view view() const
    {
        return valid_ ? std::string_view(text_, size_) : std::string_view();
    }
    constexpr bool operator==(const Text &other) const
    {
        return valid_ && other.valid_ && view() == other.view();
    }

  private:
    char text_[96] = {};
    std::size_t size_ = 0;
    bool valid_ = true;
};

// ---- From a C++ function type

// The word of each type the plug-in's members take and answer; any other type does not compile.
template <typename T> constexpr std::string_view word()
{
    if constexpr (std::is_void_v<T>)
        return "";
    else if constexpr (std::is_same_v<T, int32_t>)
        return "integer";
    else if constexpr (std::is_same_v<T, RBBoolean>)
        return "boolean";
    else if constexpr (std::is_same_v<T, REALstring>)
        return "string";
    else if constexpr (std::is_same_v<T, REALmemoryBlock>)
        return "memoryblock";
    else if constexpr (std::is_same_v<T, REALobject>)
        return "object";
    else if constexpr (std::is_same_v<T, REALobject *>)
        return "byref object";
    else if constexpr (std::is_same_v<T, intptr_t>)
        return "param";
    else
        static_assert(!sizeof(T *), "a type no plug-in member takes or answers");
}

template <typename Signature> struct Of;
template <typename Result, typename... Args> struct Of<Result(Args...)> {
    static constexpr Text text = [] {
        Text t;
        t.append(word<Result>());
        t.append("(");
        std::string_view separator;
        ((t.append(separator), t.append(word<Args>()), separator = ", "), ...);
        t.append(")");
        return t;
    }();
    // What an accessor of this signature gets or sets: its result, else its last argument.
    static constexpr std::string_view value = [] {
        std::string_view last = word<Result>();
        if (last.empty())
            ((last = word<Args>()), ...);
        return last;
    }();
};

// ---- From a declaration string

namespace detail
{

constexpr char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

constexpr bool sameLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

constexpr bool isName(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (!(lower(c) >= 'a' && lower(c) <= 'z') && !(c >= '0' && c <= '9') && c != '_')
            return false;
    return true;
}

// The word of a declared type: a built-in type's own word, "object" for a class; "" when the text
// names no type.
constexpr std::string_view typeWord(std::string_view type)
{
    for (std::string_view builtIn : {"integer", "boolean", "string", "memoryblock"})
        if (sameLetters(type, builtIn))
            return builtIn;
    return isName(type) ? std::string_view("object") : std::string_view();
}

// The word of a property's type name ("Integer", "String" or "Boolean"); "" for any other.
constexpr std::string_view propertyWord(std::string_view type)
{
    for (std::string_view known : {"integer", "boolean", "string"})
        if (sameLetters(type, known))
            return known;
    return {};
}

constexpr void appendWord(Text &t, std::string_view word)
{
    if (word.empty())
        t.invalidate();
    t.append(word);
}

// "[byref ]name as type"
constexpr void appendParameter(Text &t, std::string_view parameter)
{
    constexpr std::string_view byref = "byref ";
    const bool byReference = parameter.substr(0, byref.size()) == byref;
    if (byReference)
        parameter.remove_prefix(byref.size());
    const std::size_t as = parameter.find(" as ");
    if (as == std::string_view::npos || !isName(parameter.substr(0, as))) {
        t.invalidate();
        return;
    }
    const std::string_view word = typeWord(parameter.substr(as + 4));
    // Only objects are passed by reference.
    if (byReference && word != "object")
        t.invalidate();
    t.append(", ");
    t.append(byReference ? "byref " : "");
    appendWord(t, word);
}

// "Name[(parameter, ...)][ as type]"
constexpr Text method(std::string_view member)
{
    Text t;
    const std::size_t nameEnd = member.find_first_of("( ");
    if (!isName(member.substr(0, nameEnd)))
        t.invalidate();
    std::string_view parameters;
    std::string_view rest = nameEnd == std::string_view::npos ? std::string_view() : member.substr(nameEnd);
    if (!rest.empty() && rest.front() == '(') {
        const std::size_t close = rest.find(')');
        if (close == std::string_view::npos) {
            t.invalidate();
            return t;
        }
        parameters = rest.substr(1, close - 1);
        rest.remove_prefix(close + 1);
    }
    if (!rest.empty()) {
        constexpr std::string_view as = " as ";
        if (rest.substr(0, as.size()) != as)
            t.invalidate();
        else
            appendWord(t, typeWord(rest.substr(as.size())));
    }
    t.append("(object");
    while (!parameters.empty()) {
        const std::size_t comma = parameters.find(", ");
        appendParameter(t, parameters.substr(0, comma));
        parameters = comma == std::string_view::npos ? std::string_view() : parameters.substr(comma + 2);
    }
    t.append(")");
    return t;
}

} // namespace detail

// The signature a declaration string calls for: "Class.__init" and "Class.__exit" take the object;
// a method's comes from its parameters and result; a property accessor ("Class.Name.Get",
// "Class.Name.Set") gets or sets a value of the property's type, which the string does not carry:
// `propertyType` gives it ("Integer", "String" or "Boolean"). Not valid for any other text.
constexpr Text fromDeclaration(std::string_view declaration, std::string_view propertyType)
{
    Text t;
    const std::size_t dot = declaration.find('.');
    if (dot == std::string_view::npos || !detail::isName(declaration.substr(0, dot))) {
        t.invalidate();
        return t;
    }
    const std::string_view member = declaration.substr(dot + 1);
    if (member == "__init" || member == "__exit") {
        t.append("(object)");
        return t;
    }
    const std::string_view accessor =
        member.size() > 4 ? member.substr(member.size() - 4) : std::string_view();
    if (accessor == ".Get" || accessor == ".Set") {
        if (!detail::isName(member.substr(0, member.size() - 4)))
            t.invalidate();
        const std::string_view value = detail::propertyWord(propertyType);
        if (accessor == ".Get") {
            detail::appendWord(t, value);
            t.append("(object, param)");
        } else {
            t.append("(object, param, ");
            detail::appendWord(t, value);
            t.append(")");
        }
        return t;
    }
    return detail::method(member);
}

// Whether a C++ function type fits a declaration string. For a property accessor the value type
// is taken from the function type, so only the accessor's shape and a property type are checked.
template <typename Signature> constexpr bool fits(std::string_view declaration)
{
    return fromDeclaration(declaration, Of<Signature>::value) == Of<Signature>::text;
}

} // namespace korvane::entrysignature
