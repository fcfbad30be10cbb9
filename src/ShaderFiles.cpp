#include "ShaderFiles.h"

#include <cctype>
#include <string_view>

namespace ShaderFiles
{

namespace
{

// More messages than a student reads; the rest are counted, not shown.
constexpr int LineLimit = 50;

bool IsSeparator(char C)
{
    return C == '/' || C == '\\';
}

bool IsDigit(char C)
{
    return C >= '0' && C <= '9';
}

// A number at the start of Text, taken off it; false (Text as it was) if none or too long.
bool TakeNumber(std::string_view& Text, long& Number)
{
    std::size_t Length = 0;
    while (Length < Text.size() && IsDigit(Text[Length]))
        ++Length;
    if (Length == 0 || Length > 9)
        return false;
    Number = std::stol(std::string(Text.substr(0, Length)));
    Text.remove_prefix(Length);
    return true;
}

bool Take(std::string_view& Text, std::string_view Prefix)
{
    if (Text.substr(0, Prefix.size()) != Prefix)
        return false;
    Text.remove_prefix(Prefix.size());
    return true;
}

bool StartsWithNoCase(std::string_view Text, std::string_view Prefix)
{
    if (Text.size() < Prefix.size())
        return false;
    for (std::size_t I = 0; I < Prefix.size(); ++I)
        if (std::tolower(static_cast<unsigned char>(Text[I])) != Prefix[I])
            return false;
    return true;
}

std::string_view Trim(std::string_view Text)
{
    while (!Text.empty() && std::isspace(static_cast<unsigned char>(Text.front())))
        Text.remove_prefix(1);
    while (!Text.empty() && std::isspace(static_cast<unsigned char>(Text.back())))
        Text.remove_suffix(1);
    return Text;
}

// A driver's text may hold anything; the message is read line by line, so no control
// character of its own may break or overwrite one.
std::string Plain(std::string_view Text)
{
    std::string Result(Text);
    for (char& C : Result)
        if (static_cast<unsigned char>(C) < 0x20 || C == 0x7F)
            C = ' ';
    return Result;
}

struct TMessage
{
    long Line = 0; // 0: none
    bool Warning = false;
    std::string_view Text;
};

// "error: TEXT" or "warning: TEXT" (any case) taken apart; anything else is an error's text.
void TakeKind(std::string_view Rest, TMessage& Message)
{
    Rest = Trim(Rest);
    if (StartsWithNoCase(Rest, "error:"))
        Rest.remove_prefix(6);
    else if (StartsWithNoCase(Rest, "warning:"))
    {
        Rest.remove_prefix(8);
        Message.Warning = true;
    }
    Message.Text = Trim(Rest);
}

// Mesa: "0:5(2): error: TEXT". The file is the only source string, number 0.
bool ReadMesa(std::string_view Text, TMessage& Message)
{
    long Source = 0, Line = 0, Column = 0;
    if (!TakeNumber(Text, Source) || !Take(Text, ":") || !TakeNumber(Text, Line) ||
        !Take(Text, "(") || !TakeNumber(Text, Column) || !Take(Text, "):") || Source != 0)
        return false;
    Message.Line = Line;
    TakeKind(Text, Message);
    return true;
}

// NVIDIA: "0(5) : error C0000: TEXT"; the code stays in the text.
bool ReadNvidia(std::string_view Text, TMessage& Message)
{
    long Source = 0, Line = 0;
    if (!TakeNumber(Text, Source) || !Take(Text, "(") || !TakeNumber(Text, Line) ||
        !Take(Text, ")") || Source != 0)
        return false;
    Text = Trim(Text);
    if (!Take(Text, ":"))
        return false;
    Text = Trim(Text);
    if (StartsWithNoCase(Text, "warning"))
    {
        Message.Warning = true;
        Text.remove_prefix(7);
    }
    else if (StartsWithNoCase(Text, "error"))
        Text.remove_prefix(5);
    else
        return false;
    Message.Line = Line;
    Message.Text = Trim(Text);
    return true;
}

// AMD, Intel and the reference compiler: "ERROR: 0:5: TEXT", "WARNING: 0:5: TEXT".
bool ReadPrefixed(std::string_view Text, TMessage& Message)
{
    bool Warning = false;
    if (StartsWithNoCase(Text, "warning:"))
    {
        Warning = true;
        Text.remove_prefix(8);
    }
    else if (StartsWithNoCase(Text, "error:"))
        Text.remove_prefix(6);
    else
        return false;
    Text = Trim(Text);
    long Source = 0, Line = 0;
    if (!TakeNumber(Text, Source) || !Take(Text, ":") || !TakeNumber(Text, Line) ||
        !Take(Text, ":") || Source != 0)
        return false;
    Message.Line = Line;
    Message.Warning = Warning;
    Message.Text = Trim(Text);
    return true;
}

} // namespace

std::string FolderOf(const std::string& From)
{
    const std::size_t Last = From.find_last_of("/\\");
    return Last == std::string::npos ? std::string() : From.substr(0, Last + 1);
}

std::string PathOf(const std::string& Name, const std::string& From)
{
    const bool Absolute =
        (!Name.empty() && IsSeparator(Name[0])) ||
        (Name.size() >= 2 && std::isalpha(static_cast<unsigned char>(Name[0])) && Name[1] == ':');
    return Absolute ? Name : FolderOf(From) + Name;
}

TRead ReadBounded(std::FILE* File, std::string& Text)
{
    Text.clear();
    char Buffer[16384];
    for (;;)
    {
        const std::size_t Room = SizeLimit + 1 - Text.size();
        const std::size_t Got =
            std::fread(Buffer, 1, Room < sizeof Buffer ? Room : sizeof Buffer, File);
        Text.append(Buffer, Got);
        if (Text.size() > SizeLimit)
        {
            Text.clear();
            return TRead::TooLarge;
        }
        if (Got == 0)
            return std::ferror(File) ? TRead::Failed : TRead::Read;
    }
}

std::string ErrorLine(const std::string& Path, const std::string& Text)
{
    return Path + ": error: " + Plain(Text) + "\n";
}

std::string MapLog(const std::string& Log, const std::string& Path)
{
    std::string Result;
    int Shown = 0, Left = 0;
    std::size_t Start = 0;
    while (Start < Log.size())
    {
        std::size_t End = Log.find('\n', Start);
        if (End == std::string::npos)
            End = Log.size();
        const std::string_view Line = Trim(std::string_view(Log).substr(Start, End - Start));
        Start = End + 1;
        // Drivers end their log with a NUL or blank lines: nothing of the scene's.
        if (Line.empty() || Line.find_first_not_of('\0') == std::string_view::npos)
            continue;
        if (Shown == LineLimit)
        {
            ++Left;
            continue;
        }
        TMessage Message;
        if (!ReadMesa(Line, Message) && !ReadNvidia(Line, Message) && !ReadPrefixed(Line, Message))
        {
            Message = TMessage{};
            TakeKind(Line, Message);
        }
        Result += Path;
        if (Message.Line > 0)
            Result += ":" + std::to_string(Message.Line);
        Result += Message.Warning ? ": warning: " : ": error: ";
        Result += Plain(Message.Text) + "\n";
        ++Shown;
    }
    if (Left)
        Result += ErrorLine(Path, std::to_string(Left) + " more messages of the driver not shown");
    return Result;
}

} // namespace ShaderFiles
