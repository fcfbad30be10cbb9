// What the tools' entries into an exercise (Driver.cpp, WatchHost.cpp) promise the tools: their
// options, exit codes and output lines, the sizes and scene times they take and how a picture is
// named. tools/tutor/contract.py says the same for the tools; `NAME.exe --contract` prints this
// side (Text), and tests/tools/test_contract.py holds the two together. Plain C++, no Windows
// header: the unit build prints it natively too.
#pragma once

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace Contract
{

// The program's caption (res/Tutorial.form): how the tools find its window.
inline constexpr char Caption[] = "Zorv OpenGL Tutorial Exercise";

// The driver's options, as its usage names them.
inline const std::vector<std::string> Options{"--frames DIR", "--sizes WxH,...",    "--times S,...",
                                              "--hold",       "--first-frame FILE", "--contract"};

enum TExitCode
{
    ExitUsage = 2,
    ExitException = 10, // an exception escaped: what the program would show in its error box
    ExitCrash = 11,     // a structured exception (a fault) that nothing handled
    ExitFailed = 12,    // the driver could not do its job: a size not granted, a file not written
    ExitClosed = 13,    // the window closed before every picture was taken
};

// What a report line on the standard error says happened; the driver's last one explains its
// exit code ("crash: TEXT"); the watch host's name the scene ("crash NAME: TEXT").
enum class TLine
{
    Usage,
    Exception,
    Crash,
    Failed,
    Closed,
    Shown, // the watch host only: "shown NAME in MS ms (load MS ms)"
};

inline const char* KindName(TLine Kind)
{
    static const char* const Names[] = {"usage", "exception", "crash", "failed", "closed", "shown"};
    return Names[static_cast<int>(Kind)];
}

// The lines of a text: a message of several lines (a shader's log, a message a line) gives a
// report line each, so that a reader of lines never meets one without its prefix. Blank lines
// and a line's '\r' are dropped; an empty text is still one line.
inline std::vector<std::string> TextLines(const std::string& Text)
{
    std::vector<std::string> Lines;
    for (std::size_t Start = 0; Start <= Text.size();)
    {
        std::size_t End = Text.find('\n', Start);
        End = End == std::string::npos ? Text.size() : End;
        std::string Line = Text.substr(Start, End - Start);
        if (!Line.empty() && Line.back() == '\r')
            Line.pop_back();
        if (!Line.empty())
            Lines.push_back(Line);
        Start = End + 1;
    }
    if (Lines.empty())
        Lines.emplace_back();
    return Lines;
}

// "KIND: TEXT", one such line for each line of Text, joined by '\n' (written at once).
inline std::string ReportLine(TLine Kind, const std::string& Text)
{
    std::string Out;
    for (const std::string& Line : TextLines(Text))
        Out += (Out.empty() ? "" : "\n") + std::string(KindName(Kind)) + ": " + Line;
    return Out;
}

// "KIND NAME: TEXT", one such line for each line of Text, as ReportLine.
inline std::string WatchLine(TLine Kind, const std::string& Scene, const std::string& Text)
{
    std::string Out;
    for (const std::string& Line : TextLines(Text))
        Out += (Out.empty() ? "" : "\n") + std::string(KindName(Kind)) + " " + Scene + ": " + Line;
    return Out;
}

inline std::string ShownLine(const std::string& Scene, long long Ms, long long LoadMs)
{
    return std::string(KindName(TLine::Shown)) + " " + Scene + " in " + std::to_string(Ms) +
           " ms (load " + std::to_string(LoadMs) + " ms)";
}

// The largest client area any tool asks for: the grader's sandbox screen, and the tools' own
// display, hold it whole.
inline constexpr int MaxWidth = 1920, MaxHeight = 1200;
// Scene times are seconds with at most this many digits each side of the point.
inline constexpr int TimeDigits = 6;

struct TSize
{
    int Width, Height;
};

inline std::string SizeName(const TSize& Size)
{
    return std::to_string(Size.Width) + "x" + std::to_string(Size.Height);
}

// The errors a tool gives for a list it cannot take, word for word the same in every tool.
inline std::string SizeError(const std::string& Option, const std::string& Item)
{
    return Option + " takes WxH,... with W from 1 to " + std::to_string(MaxWidth) +
           " and H from 1 to " + std::to_string(MaxHeight) + ", not '" + Item + "'";
}

inline std::string TimeError(const std::string& Option, const std::string& Item)
{
    return Option + " takes seconds like 0,0.5,1 (at most " + std::to_string(TimeDigits) +
           " digits each side of the point), not '" + Item + "'";
}

inline std::string TwiceError(const std::string& Option, const std::string& Item)
{
    return Option + " names " + Item + " twice";
}

namespace Detail
{

inline bool Digits(const std::string& Text, std::size_t Most)
{
    if (Text.empty() || Text.size() > Most)
        return false;
    for (const char C : Text)
        if (C < '0' || C > '9')
            return false;
    return true;
}

// A whole number from 1 to Most, written without a leading zero; 0 when it is not one.
inline int Dimension(const std::string& Text, int Most)
{
    if (!Digits(Text, 4) || Text[0] == '0')
        return 0;
    const int Value = std::stoi(Text);
    return Value <= Most ? Value : 0;
}

inline std::vector<std::string> Split(const std::string& List)
{
    std::vector<std::string> Items;
    std::size_t Start = 0;
    for (std::size_t Comma; (Comma = List.find(',', Start)) != std::string::npos; Start = Comma + 1)
        Items.push_back(List.substr(Start, Comma - Start));
    Items.push_back(List.substr(Start));
    return Items;
}

} // namespace Detail

// One "WxH"; throws std::invalid_argument with SizeError.
inline TSize ParseSize(const std::string& Option, const std::string& Item)
{
    const std::size_t X = Item.find('x');
    const int Width = X == std::string::npos ? 0 : Detail::Dimension(Item.substr(0, X), MaxWidth);
    const int Height =
        X == std::string::npos ? 0 : Detail::Dimension(Item.substr(X + 1), MaxHeight);
    if (Width == 0 || Height == 0)
        throw std::invalid_argument(SizeError(Option, Item));
    return {Width, Height};
}

// Seconds as every tool writes them, whatever way they were given: "0.50" is "0.5", "1.0" is
// "1", "007" is "7". Throws std::invalid_argument with TimeError.
inline std::string CanonicalTime(const std::string& Option, const std::string& Item)
{
    const std::size_t Point = Item.find('.');
    std::string Whole = Item.substr(0, Point);
    std::string Fraction = Point == std::string::npos ? "" : Item.substr(Point + 1);
    if (!Detail::Digits(Whole, TimeDigits) ||
        (Point != std::string::npos && !Detail::Digits(Fraction, TimeDigits)))
        throw std::invalid_argument(TimeError(Option, Item));
    Whole.erase(0, std::min(Whole.find_first_not_of('0'), Whole.size() - 1));
    Fraction.erase(Fraction.find_last_not_of('0') + 1);
    return Fraction.empty() ? Whole : Whole + "." + Fraction;
}

inline std::vector<TSize> ParseSizes(const std::string& Option, const std::string& List)
{
    std::vector<TSize> Sizes;
    std::set<std::string> Seen;
    for (const std::string& Item : Detail::Split(List))
    {
        Sizes.push_back(ParseSize(Option, Item));
        if (!Seen.insert(SizeName(Sizes.back())).second)
            throw std::invalid_argument(TwiceError(Option, Item));
    }
    return Sizes;
}

// The canonical times of a list, each once.
inline std::vector<std::string> ParseTimes(const std::string& Option, const std::string& List)
{
    std::vector<std::string> Times;
    std::set<std::string> Seen;
    for (const std::string& Item : Detail::Split(List))
    {
        Times.push_back(CanonicalTime(Option, Item));
        if (!Seen.insert(Times.back()).second)
            throw std::invalid_argument(TwiceError(Option, Item));
    }
    return Times;
}

// The file of the picture at a size and a canonical time: "640x480@0.5.png".
inline std::string PictureName(const TSize& Size, const std::string& Time)
{
    return SizeName(Size) + "@" + Time + ".png";
}

// The findings file of the picture at a size and time, beside it: "640x480@0.5.txt".
inline std::string FindingsName(const TSize& Size, const std::string& Time)
{
    return SizeName(Size) + "@" + Time + ".txt";
}

// What the recorder (harness/Recorder.cpp) finds in an examined frame, one a line.
inline const std::vector<std::string> FindingKinds{
    "gl-error",  "outside-view", "clear-colour", "nothing-drawn", "culled",
    "zero-area", "depth-stale",  "no-end",       "matrix-stack",  "projection"};

// "FILE:LINE: KIND: TEXT", FILE as compiled; a compiler's own warnings read the same way.
inline std::string FindingLine(const std::string& File, int Line, const std::string& Kind,
                               const std::string& Text)
{
    return File + ":" + std::to_string(Line) + ": " + Kind + ": " + Text;
}

// A findings file holds at most so many lines and bytes, each line at most so long; what does
// not fit is counted on a last line, "... and N more".
inline constexpr std::size_t MaxFindings = 40, MaxFindingsBytes = 8192, MaxFindingBytes = 400;

inline std::string MoreLine(std::size_t Count)
{
    return "\xE2\x80\xA6 and " + std::to_string(Count) + " more";
}

inline std::string FindingsText(const std::vector<std::string>& Lines)
{
    std::string Out;
    for (std::size_t I = 0; I < Lines.size(); ++I)
    {
        const std::string Line = Lines[I].substr(0, MaxFindingBytes);
        // Room is kept for the count, whose line is at most 32 bytes.
        if (I == MaxFindings || Out.size() + Line.size() + 1 > MaxFindingsBytes - 32)
            return Out + MoreLine(Lines.size() - I) + "\n";
        Out += Line + "\n";
    }
    return Out;
}

// The whole contract as plain lines, with the answers for a fixed list of samples, as
// `--contract` prints it; contract.py writes the same text from its own code.
inline std::string Text()
{
    std::string Out = std::string("caption ") + Caption + "\n";
    for (const std::string& Option : Options)
        Out += "option " + Option + "\n";
    const std::pair<const char*, int> Codes[] = {{"usage", ExitUsage},
                                                 {"exception", ExitException},
                                                 {"crash", ExitCrash},
                                                 {"failed", ExitFailed},
                                                 {"closed", ExitClosed}};
    for (const auto& [Kind, Code] : Codes)
        Out += std::string("exit ") + Kind + " " + std::to_string(Code) + "\n";
    for (const TLine Kind :
         {TLine::Usage, TLine::Exception, TLine::Crash, TLine::Failed, TLine::Closed})
        Out += "report " + ReportLine(Kind, "TEXT") + "\n";
    for (const TLine Kind : {TLine::Crash, TLine::Exception, TLine::Failed})
        Out += "watch " + WatchLine(Kind, "NAME", "TEXT") + "\n";
    Out += "watch " + ShownLine("NAME", 12, 3) + "\n";
    // A text of several lines, its line ends shown escaped; the lines given back joined by '|'.
    for (const char* Sample : {"a\nb", "\n\nx: 1\r\n\r\ny\n", "", "\r\n", "one"})
    {
        std::string Shown, Lines = ReportLine(TLine::Exception, Sample) + "|" +
                                   WatchLine(TLine::Exception, "NAME", Sample);
        for (const char* C = Sample; *C; ++C)
            Shown += *C == '\n' ? "\\n" : *C == '\r' ? "\\r" : std::string(1, *C);
        std::replace(Lines.begin(), Lines.end(), '\n', '|');
        Out += "lines '" + Shown + "' = " + Lines + "\n";
    }
    Out += "size-limit " + SizeName({MaxWidth, MaxHeight}) + "\n";
    Out += "time-digits " + std::to_string(TimeDigits) + "\n";
    for (const char* Sample : {"640x480", "1920x1200", "1x1", "1921x1200", "1920x1201", "0x480",
                               "0640x480", "640X480", "640x", "x480", "", "640x480x2", " 640x480",
                               "99999x99999", "640x480,640x480", "800x600,640x480"})
        try
        {
            std::string Sizes;
            for (const TSize& Size : ParseSizes("--sizes", Sample))
                Sizes += (Sizes.empty() ? "" : ",") + SizeName(Size);
            Out += "sizes '" + std::string(Sample) + "' = " + Sizes + "\n";
        }
        catch (const std::invalid_argument& Error)
        {
            Out += "sizes '" + std::string(Sample) + "' ! " + Error.what() + "\n";
        }
    for (const char* Sample :
         {"0", "0.50", "1.0", "007", "000.000", "10", "0.05", "123456.123456", "1234567",
          "0.1234567", ".5", "5.", "-1", "1e3", "", " 1", "0.5,0.50", "0.25,1,0"})
        try
        {
            std::string Times;
            for (const std::string& Time : ParseTimes("--times", Sample))
                Times += (Times.empty() ? "" : ",") + Time;
            Out += "times '" + std::string(Sample) + "' = " + Times + "\n";
        }
        catch (const std::invalid_argument& Error)
        {
            Out += "times '" + std::string(Sample) + "' ! " + Error.what() + "\n";
        }
    Out += "picture 640x480 0.50 = " +
           PictureName(ParseSize("--sizes", "640x480"), CanonicalTime("--times", "0.50")) + "\n";
    Out += "picture 1920x1200 007 = " +
           PictureName(ParseSize("--sizes", "1920x1200"), CanonicalTime("--times", "007")) + "\n";
    Out += "findings 640x480 0.50 = " +
           FindingsName(ParseSize("--sizes", "640x480"), CanonicalTime("--times", "0.50")) + "\n";
    for (const std::string& Kind : FindingKinds)
        Out += "finding-kind " + Kind + "\n";
    Out += "finding " + FindingLine("exercises/Mine.cpp", 12, "gl-error", "TEXT") + "\n";
    Out += "findings-limit " + std::to_string(MaxFindings) + " " +
           std::to_string(MaxFindingsBytes) + " " + std::to_string(MaxFindingBytes) + "\n";
    // Few lines, too many lines, too many bytes; the size of the text and its last line.
    for (const auto& [Count, Width] : {std::pair<int, int>{2, 600}, {45, 0}, {41, 9}})
    {
        std::vector<std::string> Lines;
        for (int I = 0; I < Count; ++I)
            Lines.push_back(FindingLine("a.cpp", I, "culled", std::string(I * Width, 'x')));
        const std::string Text = FindingsText(Lines);
        Out += "findings-text " + std::to_string(Count) + " " + std::to_string(Width) + " = " +
               std::to_string(Text.size()) + " " +
               Text.substr(Text.rfind('\n', Text.size() - 2) + 1);
    }
    return Out;
}

} // namespace Contract
