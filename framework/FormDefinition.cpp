#include "FormDefinition.h"

#include "SysUtils.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <set>
#include <utility>

namespace
{

bool IsSpace(char C)
{
    return C == ' ' || C == '\t';
}
bool IsDigit(char C)
{
    return C >= '0' && C <= '9';
}
bool IsIdentStart(char C)
{
    return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_';
}
bool IsIdentChar(char C)
{
    return IsIdentStart(C) || IsDigit(C);
}

// A piece of the definition as it may appear in a message: short and printable, whatever bytes
// the resource holds.
std::string Excerpt(std::string_view Text)
{
    constexpr std::size_t Limit = 40;
    std::string Out = "\"";
    for (std::size_t I = 0; I < Text.size() && I < Limit; ++I)
    {
        const auto C = static_cast<unsigned char>(Text[I]);
        if (C >= 0x20 && C < 0x7F && C != '"' && C != '\\')
        {
            Out += static_cast<char>(C);
        }
        else
        {
            char Hex[5];
            std::snprintf(Hex, sizeof Hex, "\\x%02X", C);
            Out += Hex;
        }
    }
    if (Text.size() > Limit)
        Out += "...";
    return Out + "\"";
}

bool IsValidUtf8(std::string_view Text)
{
    std::size_t I = 0;
    while (I < Text.size())
    {
        const auto C = static_cast<unsigned char>(Text[I]);
        std::size_t Length;
        char32_t Code;
        if (C < 0x80)
        {
            ++I;
            continue;
        }
        else if (C >= 0xC2 && C <= 0xDF)
        {
            Length = 2;
            Code = C & 0x1F;
        }
        else if (C >= 0xE0 && C <= 0xEF)
        {
            Length = 3;
            Code = C & 0x0F;
        }
        else if (C >= 0xF0 && C <= 0xF4)
        {
            Length = 4;
            Code = C & 0x07;
        }
        else
        {
            return false;
        }
        if (Text.size() - I < Length)
            return false;
        for (std::size_t K = 1; K < Length; ++K)
        {
            const auto Next = static_cast<unsigned char>(Text[I + K]);
            if ((Next & 0xC0) != 0x80)
                return false;
            Code = (Code << 6) | (Next & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
        const char32_t Least = Length == 3 ? 0x800 : Length == 4 ? 0x10000 : 0x80;
        if (Code < Least || (Code >= 0xD800 && Code <= 0xDFFF) || Code > 0x10FFFF)
            return false;
        I += Length;
    }
    return true;
}

struct TValue
{
    enum class TKind
    {
        Integer,
        String,
        Identifier,
        Set,
    };
    TKind Kind = TKind::Integer;
    long long Integer = 0;
    std::string Text; // the string's contents, or the identifier
    std::vector<std::string> Items;
    std::string_view Source; // as written, for messages
};

class TReader
{
public:
    explicit TReader(std::string_view Resource) : Resource(Resource) {}

    [[noreturn]] void Fail(const std::string& What) const
    {
        std::string Where = std::string(Resource) + ", line " + std::to_string(Line);
        if (!Property.empty())
            Where += ", property " + std::string(Property);
        throw Exception(Where + ": " + What);
    }

    TFormDefinition Read(std::string_view Text);

private:
    void ReadHeader(std::string_view Rest);
    void ReadProperty(std::string_view Rest);
    TValue ReadValue(std::string_view Text);
    void Apply(const TValue& Value);

    std::string_view Resource;
    TFormDefinition Form;
    std::set<std::string, std::less<>> Seen; // every property given so far
    int Line = 0;
    std::string_view Property;
    bool HaveHeader = false;

    friend class TValueReader;
};

std::string_view Trim(std::string_view Text)
{
    while (!Text.empty() && IsSpace(Text.front()))
        Text.remove_prefix(1);
    while (!Text.empty() && IsSpace(Text.back()))
        Text.remove_suffix(1);
    return Text;
}

std::string_view TakeIdentifier(std::string_view& Text)
{
    std::size_t End = 0;
    if (End < Text.size() && IsIdentStart(Text[End]))
        while (End < Text.size() && IsIdentChar(Text[End]))
            ++End;
    const std::string_view Ident = Text.substr(0, End);
    Text.remove_prefix(End);
    return Ident;
}

TFormDefinition TReader::Read(std::string_view Text)
{
    if (Text.substr(0, 3) == "\xEF\xBB\xBF")
        Text.remove_prefix(3);

    while (!Text.empty())
    {
        ++Line;
        const std::size_t End = std::min(Text.find('\n'), Text.size());
        std::string_view Current = Text.substr(0, End);
        Text.remove_prefix(std::min(End + 1, Text.size()));
        if (!Current.empty() && Current.back() == '\r')
            Current.remove_suffix(1);

        Current = Trim(Current);
        if (Current.empty() || Current.front() == '#')
            continue;
        if (Current.substr(0, 5) == "form " || Current.substr(0, 5) == "form\t")
            ReadHeader(Current.substr(5));
        else
            ReadProperty(Current);
    }
    if (!HaveHeader)
        Fail("no 'form Name: Class' line");
    return std::move(Form);
}

void TReader::ReadHeader(std::string_view Rest)
{
    if (HaveHeader)
        Fail("a second 'form' line; a definition describes one form");
    Rest = Trim(Rest);
    const std::string_view Object = TakeIdentifier(Rest);
    Rest = Trim(Rest);
    if (Object.empty() || Rest.empty() || Rest.front() != ':')
        Fail("expected 'form Name: Class'");
    Rest = Trim(Rest.substr(1));
    const std::string_view Class = TakeIdentifier(Rest);
    if (Class.empty() || !Rest.empty())
        Fail("expected 'form Name: Class'");
    Form.ObjectName = Object;
    Form.ClassName = Class;
    Form.ClassLine = Line;
    HaveHeader = true;
}

void TReader::ReadProperty(std::string_view Rest)
{
    std::size_t End = 0;
    while (End < Rest.size() && (IsIdentChar(Rest[End]) || Rest[End] == '.'))
        ++End;
    const std::string_view Name = Rest.substr(0, End);
    Rest = Trim(Rest.substr(End));
    if (Name.empty() || !IsIdentStart(Name.front()) || Rest.empty() || Rest.front() != '=')
        Fail("expected 'Property = Value', got " + Excerpt(Name.empty() ? Rest : Name));
    if (!HaveHeader)
        Fail("property " + std::string(Name) + " before the 'form Name: Class' line");

    Property = Name;
    if (!Seen.emplace(Name).second)
        Fail("given twice");
    Apply(ReadValue(Trim(Rest.substr(1))));
    Property = {};
}

TValue TReader::ReadValue(std::string_view Text)
{
    TValue Value;
    Value.Source = Text;
    std::string_view Rest = Text;
    if (Rest.empty())
        Fail("no value");

    if (Rest.front() == '"')
    {
        Value.Kind = TValue::TKind::String;
        std::size_t I = 1;
        for (;; ++I)
        {
            if (I == Rest.size())
                Fail("the string " + Excerpt(Text) + " has no closing quote");
            const char C = Rest[I];
            if (C == '"')
                break;
            if (C == '\\')
            {
                const char Next = I + 1 < Rest.size() ? Rest[I + 1] : '\0';
                if (Next != '"' && Next != '\\')
                    Fail("unknown escape in " + Excerpt(Text) + "; only \\\" and \\\\ are known");
                Value.Text += Next;
                ++I;
            }
            else if (static_cast<unsigned char>(C) < 0x20 || C == 0x7F)
            {
                Fail("control character in " + Excerpt(Text));
            }
            else
            {
                Value.Text += C;
            }
        }
        Rest.remove_prefix(I + 1);
        if (!IsValidUtf8(Value.Text))
            Fail("the string " + Excerpt(Text) + " is not valid UTF-8");
    }
    else if (Rest.front() == '-' || IsDigit(Rest.front()))
    {
        Value.Kind = TValue::TKind::Integer;
        const bool Negative = Rest.front() == '-';
        std::size_t I = Negative ? 1 : 0;
        if (I == Rest.size() || !IsDigit(Rest[I]))
            Fail(Excerpt(Text) + " is not a number");
        constexpr long long Limit = 1LL << 32; // past every int a property takes
        for (; I < Rest.size() && IsDigit(Rest[I]); ++I)
        {
            Value.Integer = Value.Integer * 10 + (Rest[I] - '0');
            if (Value.Integer > Limit)
                Fail(Excerpt(Text) + " is out of range");
        }
        if (Negative)
            Value.Integer = -Value.Integer;
        Rest.remove_prefix(I);
    }
    else if (Rest.front() == '[')
    {
        Value.Kind = TValue::TKind::Set;
        Rest = Trim(Rest.substr(1));
        if (!Rest.empty() && Rest.front() != ']')
        {
            for (;;)
            {
                const std::string_view Item = TakeIdentifier(Rest);
                if (Item.empty())
                    Fail("expected a name in the set " + Excerpt(Text));
                Value.Items.emplace_back(Item);
                Rest = Trim(Rest);
                if (Rest.empty() || Rest.front() != ',')
                    break;
                Rest = Trim(Rest.substr(1));
            }
        }
        if (Rest.empty() || Rest.front() != ']')
            Fail("the set " + Excerpt(Text) + " has no closing bracket");
        Rest.remove_prefix(1);
    }
    else if (IsIdentStart(Rest.front()))
    {
        Value.Kind = TValue::TKind::Identifier;
        Value.Text = TakeIdentifier(Rest);
    }
    else
    {
        Fail(Excerpt(Text) + " is not a value");
    }

    Rest = Trim(Rest);
    if (!Rest.empty() && Rest.front() != '#')
        Fail("unexpected " + Excerpt(Rest) + " after the value");
    return Value;
}

// Turns a value into what a property takes, or fails naming the property.
class TValueReader
{
public:
    TValueReader(const TReader& Reader, const TValue& Value) : Reader(Reader), Value(Value) {}

    int Integer(int Min, int Max) const
    {
        if (Value.Kind != TValue::TKind::Integer || Value.Integer < Min || Value.Integer > Max)
            Reader.Fail("expected an integer from " + std::to_string(Min) + " to " +
                        std::to_string(Max) + ", got " + Excerpt(Value.Source));
        return static_cast<int>(Value.Integer);
    }

    std::string String() const
    {
        if (Value.Kind != TValue::TKind::String)
            Reader.Fail("expected a string in double quotes, got " + Excerpt(Value.Source));
        return Value.Text;
    }

    std::string Identifier() const
    {
        if (Value.Kind != TValue::TKind::Identifier)
            Reader.Fail("expected a name, got " + Excerpt(Value.Source));
        return Value.Text;
    }

    // One of the names given, or a plain integer from Min to Max where that is allowed.
    template <class T>
    T Named(std::initializer_list<std::pair<std::string_view, T>> Names, long long Min = 1,
            long long Max = 0) const
    {
        if (Value.Kind == TValue::TKind::Integer && Min <= Max && Value.Integer >= Min &&
            Value.Integer <= Max)
            return static_cast<T>(Value.Integer);
        if (Value.Kind == TValue::TKind::Identifier)
            for (const auto& [Name, Result] : Names)
                if (Name == Value.Text)
                    return Result;
        Reader.Fail(Excerpt(Value.Source) + " is not one of " + List(Names));
    }

    template <class T> T Set(std::initializer_list<std::pair<std::string_view, T>> Names) const
    {
        if (Value.Kind != TValue::TKind::Set)
            Reader.Fail("expected a set such as [], got " + Excerpt(Value.Source));
        T Result{};
        for (const std::string& Item : Value.Items)
        {
            const auto Found = std::find_if(Names.begin(), Names.end(),
                                            [&](const auto& Entry) { return Entry.first == Item; });
            if (Found == Names.end())
                Reader.Fail(Excerpt(Item) + " is not one of " + List(Names));
            Result = static_cast<T>(Result | Found->second);
        }
        return Result;
    }

private:
    template <class T>
    static std::string List(std::initializer_list<std::pair<std::string_view, T>> Names)
    {
        std::string Out;
        for (const auto& Entry : Names)
            Out += (Out.empty() ? "" : ", ") + std::string(Entry.first);
        return Out;
    }

    const TReader& Reader;
    const TValue& Value;
};

struct TProperty
{
    std::string_view Name;
    void (*Apply)(TFormDefinition& Form, const TValueReader& Value);
};

// Coordinates and sizes stay within what a window rectangle can hold on every Windows.
constexpr int MaxCoordinate = 32767;

const TProperty Properties[] = {
    {"Left",
     [](TFormDefinition& F, const TValueReader& V)
     {
         F.Left = V.Integer(-MaxCoordinate - 1, MaxCoordinate);
     }},
    {"Top",
     [](TFormDefinition& F, const TValueReader& V)
     {
         F.Top = V.Integer(-MaxCoordinate - 1, MaxCoordinate);
     }},
    {"Width",
     [](TFormDefinition& F, const TValueReader& V)
     {
         F.Width = V.Integer(0, MaxCoordinate);
     }},
    {"Height",
     [](TFormDefinition& F, const TValueReader& V)
     {
         F.Height = V.Integer(0, MaxCoordinate);
     }},
    {"Caption",
     [](TFormDefinition& F, const TValueReader& V)
     {
         F.Caption = V.String();
     }},
    {"Font.Charset",
     [](TFormDefinition& F, const TValueReader& V)
     {
         F.Font.Charset = V.Named<int>({{"ANSI_CHARSET", 0},
                                        {"DEFAULT_CHARSET", 1},
                                        {"SYMBOL_CHARSET", 2},
                                        {"OEM_CHARSET", 255}},
                                       0, 255);
     }},
    {"Font.Color",
     [](TFormDefinition& F, const TValueReader& V)
     {
         F.Font.Color = V.Named<TColor>({{"clBlack", 0x000000},
                                         {"clWhite", 0xFFFFFF},
                                         {"clWindowText", clWindowText},
                                         {"clWindow", clSystemColor | 5},
                                         {"clBtnFace", clSystemColor | 15}},
                                        0, 0xFFFFFF);
     }},
    {"Font.Height",
     [](TFormDefinition& F, const TValueReader& V)
     {
         F.Font.Height = V.Integer(-MaxCoordinate - 1, MaxCoordinate);
     }},
    {"Font.Name",
     [](TFormDefinition& F, const TValueReader& V)
     {
         F.Font.Name = V.String();
     }},
    {"Font.Style",
     [](TFormDefinition& F, const TValueReader& V)
     {
         F.Font.Style = V.Set<TFontStyles>({{"fsBold", fsBold},
                                            {"fsItalic", fsItalic},
                                            {"fsUnderline", fsUnderline},
                                            {"fsStrikeOut", fsStrikeOut}});
     }},
    {"Position",
     [](TFormDefinition& F, const TValueReader& V)
     {
         F.Position = V.Named<TPosition>({{"poDesigned", TPosition::poDesigned},
                                          {"poDefaultPosOnly", TPosition::poDefaultPosOnly},
                                          {"poScreenCenter", TPosition::poScreenCenter}});
     }},
    {"PixelsPerInch",
     [](TFormDefinition& F, const TValueReader& V)
     {
         F.PixelsPerInch = V.Integer(1, 10000);
     }},
    {"TextHeight",
     [](TFormDefinition& F, const TValueReader& V)
     {
         F.TextHeight = V.Integer(0, MaxCoordinate);
     }},
};

bool IsEventName(std::string_view Name)
{
    return Name.size() > 2 && Name.substr(0, 2) == "On" && Name[2] >= 'A' && Name[2] <= 'Z' &&
           Name.find('.') == std::string_view::npos;
}

void TReader::Apply(const TValue& Value)
{
    const TValueReader Reader(*this, Value);
    // Which events a form has is the form's business; the reader only records the binding.
    if (IsEventName(Property))
    {
        Form.Events.push_back({std::string(Property), Reader.Identifier(), Line});
        return;
    }
    for (const TProperty& Known : Properties)
        if (Known.Name == Property)
            return Known.Apply(Form, Reader);
    Fail("unknown property");
}

} // namespace

TFormDefinition ReadFormDefinition(std::string_view Text, std::string_view ResourceName)
{
    return TReader(ResourceName).Read(Text);
}
