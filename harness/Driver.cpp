// The tools' entry into an exercise, in place of Main.cpp: the same window, form and loop, with
// the pictures taken by the program itself. Never part of the shipped program.
//
//   NAME.exe --frames DIR [--sizes WxH,...] [--times T,...] [--hold]
//       lets the scene run on the real clock for at least a second and 100 frames (200 a second
//       at most), then for each size (the client area, set through the form's own resize) and
//       each scene time draws one frame with the clock pinned there and writes it to
//       DIR/WxH@T.png, and what the scene's recorded calls prove about that frame to
//       DIR/WxH@T.txt (Examine.h); then exits with 0, or with --hold keeps presenting the last
//       picture until the window is closed.
//   NAME.exe --first-frame FILE
//       runs as the program does and writes its first frame to FILE.
//   NAME.exe --contract
//       prints what it promises the tools (Contract.h) on the standard output.
//
// Whatever goes wrong is one line on the standard error and an exit code of its own
// (Contract.h), never a box that waits for a click.
#include "Contract.h"
#include "Examine.h"
#include "Png.h"
#include "Support.h"

#include <Tutorial.h>

#include <GL/gl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace
{

// A failure of the driver itself, as opposed to the scene's.
struct TDriverFailure
{
    std::string Text;
};

struct TSize
{
    int Width, Height;
    std::wstring Name;
};

struct TTime
{
    double Seconds;
    std::string Name; // canonical (Contract::CanonicalTime), as every tool names the file
};

struct TOrders
{
    std::wstring Frames; // the folder of the pictures
    std::vector<TSize> Sizes;
    std::vector<TTime> Times{{0.0, "0"}};
    bool Hold = false;
    bool PrintContract = false;
    std::wstring FirstFrame;
};

std::wstring Widen(const std::string& Ascii)
{
    return std::wstring(Ascii.begin(), Ascii.end());
}

TOrders ReadCommandLine()
{
    int Count = 0;
    wchar_t** Args = ::CommandLineToArgvW(::GetCommandLineW(), &Count);
    std::vector<std::wstring> Words(Args + 1, Args + Count);
    ::LocalFree(Args);

    TOrders Orders;
    const auto Value = [&](std::size_t& I)
    {
        if (I + 1 >= Words.size())
            throw TDriverFailure{Narrow(Words[I]) + " needs a value"};
        return Words[++I];
    };
    for (std::size_t I = 0; I < Words.size(); ++I)
    {
        const std::wstring& Word = Words[I];
        if (Word == L"--frames")
            Orders.Frames = Value(I);
        else if (Word == L"--first-frame")
            Orders.FirstFrame = Value(I);
        else if (Word == L"--hold")
            Orders.Hold = true;
        else if (Word == L"--contract")
            Orders.PrintContract = true;
        else if (Word == L"--sizes" || Word == L"--times")
        {
            const std::string List = Narrow(Value(I));
            try
            {
                if (Word == L"--sizes")
                {
                    Orders.Sizes.clear();
                    for (const Contract::TSize& Size : Contract::ParseSizes("--sizes", List))
                        Orders.Sizes.push_back(
                            {Size.Width, Size.Height, Widen(Contract::SizeName(Size))});
                }
                else
                {
                    Orders.Times.clear();
                    for (const std::string& Time : Contract::ParseTimes("--times", List))
                        Orders.Times.push_back({std::stod(Time), Time});
                }
            }
            catch (const std::invalid_argument& Error)
            {
                throw TDriverFailure{Error.what()};
            }
        }
        else
            throw TDriverFailure{"unknown argument '" + Narrow(Word) + "'"};
    }
    if (Orders.PrintContract)
        return Orders;
    if (Orders.Frames.empty() == Orders.FirstFrame.empty())
        throw TDriverFailure{"give either --frames DIR or --first-frame FILE"};
    return Orders;
}

// The client area's pixels as drawn, read from the back buffer before the swap.
void WriteFrame(TForm1& Form, const std::wstring& Path)
{
    const std::vector<std::uint8_t> Pixels =
        ReadBackBuffer(Form.GetClientWidth(), Form.GetClientHeight());
    if (Pixels.empty())
        throw TDriverFailure{"the frame could not be read back"};
    if (!WriteWhole(Path, EncodePng(Form.GetClientWidth(), Form.GetClientHeight(), Pixels)))
        throw TDriverFailure{"cannot write " + Narrow(Path)};
}

// Takes over the application's idle handler and calls the form's own, ApplicationIdle, for
// every frame, so that each frame is drawn and presented as always.
class TDriver
{
public:
    TDriver(TForm1& Form, TOrders Orders) : Form(Form), Orders(std::move(Orders))
    {
        Frame = std::move(Application->OnIdle);
        Application->OnIdle = Bind(this, &TDriver::Idle);
        Form.OnFrameDrawn = Bind(this, &TDriver::FrameDrawn);
        Started = std::chrono::steady_clock::now();
        if (!this->Orders.FirstFrame.empty())
            Wanted = this->Orders.FirstFrame;
        if (this->Orders.Sizes.empty())
            this->Orders.Sizes.push_back(
                {0, 0, std::wstring()}); // the window's own size, named below
    }

    bool Finished() const { return Next == Pictures() || !Orders.FirstFrame.empty(); }

private:
    // How many frames at each size and time are drawn before the one pictured: the first after
    // a resize may still be drawn on the old surface.
    static constexpr int SettleFrames = 2;
    static constexpr int WarmUpFrames = 100;
    static constexpr std::chrono::seconds WarmUpTime{1};
    // The warm-up frames spread over its second: the scene's state goes on as on a fast
    // machine, but drawing flat out took most of a grading run's processor, and each frame is
    // sent to a sandbox's X server whole.
    static constexpr std::chrono::milliseconds WarmUpPace =
        std::chrono::milliseconds{WarmUpTime} / WarmUpFrames;

    void Idle(TObject* Sender, bool& Done)
    {
        if (!Orders.FirstFrame.empty())
        {
            Frame(Sender, Done);
            return;
        }
        const auto Now = std::chrono::steady_clock::now();
        if (Frames < WarmUpFrames || Now - Started < WarmUpTime)
        {
            const auto Due = Started + Frames * WarmUpPace;
            if (Now < Due)
            {
                const auto Left = std::chrono::ceil<std::chrono::milliseconds>(Due - Now);
                ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(Left.count()),
                                            QS_ALLINPUT);
                Done = false;
                return;
            }
            ++Frames;
            Frame(Sender, Done);
            return;
        }
        if (Next == Pictures())
        {
            if (!Orders.Hold)
                Finish(0);
            Frame(Sender, Done); // held at the last picture's time
            return;
        }
        TSize& Size = Orders.Sizes[Next / Orders.Times.size()];
        const TTime& Time = Orders.Times[Next % Orders.Times.size()];
        if (Size.Width == 0)
            Size = {Form.GetClientWidth(), Form.GetClientHeight(),
                    std::to_wstring(Form.GetClientWidth()) + L"x" +
                        std::to_wstring(Form.GetClientHeight())};
        Done = false;
        if (!ReachSize(Size))
        {
            // Lost again (a window manager may move it on): the frames counted so far were
            // drawn at the size wanted, but the next may be drawn on the surface of another.
            Settled = 0;
            return;
        }
        Form.Clock.Pin(Time.Seconds);
        if (Settled++ == SettleFrames)
        {
            Wanted = Orders.Frames + L"\\" +
                     Widen(Contract::PictureName({Size.Width, Size.Height}, Time.Name));
            Findings = Orders.Frames + L"\\" +
                       Widen(Contract::FindingsName({Size.Width, Size.Height}, Time.Name));
            Settled = 0;
            ++Next;
            TutorialRecorder::Start();
        }
        Frame(Sender, Done);
    }

    std::size_t Pictures() const { return Orders.Sizes.size() * Orders.Times.size(); }

    // Asks for the size once and waits for it, handling messages meanwhile; a window manager
    // may take a moment, and may refuse.
    bool ReachSize(const TSize& Size)
    {
        if (Form.GetClientWidth() == Size.Width && Form.GetClientHeight() == Size.Height)
        {
            Asked = {};
            return true;
        }
        const auto Now = std::chrono::steady_clock::now();
        if (Asked == std::chrono::steady_clock::time_point{})
        {
            Asked = Now;
            Form.SetClientSize(Size.Width, Size.Height);
            return false;
        }
        if (Now - Asked > std::chrono::seconds(5))
            throw TDriverFailure{"the client area stays " + std::to_string(Form.GetClientWidth()) +
                                 "x" + std::to_string(Form.GetClientHeight()) + ", not " +
                                 Narrow(Size.Name)};
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        return false;
    }

    void FrameDrawn(TObject* /*Sender*/)
    {
        // First, so that they are there even when the scene has left GL unable to read back.
        if (!Findings.empty())
        {
            const std::string Text = Contract::FindingsText(TutorialRecorder::Stop());
            const std::wstring Path = std::exchange(Findings, std::wstring());
            if (!WriteWhole(Path, std::vector<std::uint8_t>(Text.begin(), Text.end())))
                throw TDriverFailure{"cannot write " + Narrow(Path)};
        }
        if (!Wanted.empty())
            WriteFrame(Form, std::exchange(Wanted, std::wstring()));
    }

    TForm1& Form;
    TOrders Orders;
    TIdleEvent Frame;
    std::chrono::steady_clock::time_point Started, Asked;
    int Frames = 0;
    int Settled = 0;
    std::size_t Next = 0;  // the picture being made: size Next / times, time Next % times
    std::wstring Wanted;   // where the frame being drawn goes, if anywhere
    std::wstring Findings; // and what its recorded calls prove
};

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    ReportCrashes();
    TOrders Orders;
    try
    {
        Orders = ReadCommandLine();
    }
    catch (const TDriverFailure& Failure)
    {
        Say(Contract::ReportLine(Contract::TLine::Usage, Failure.Text));
        return Contract::ExitUsage;
    }
    if (Orders.PrintContract)
    {
        const std::string Text = Contract::Text();
        DWORD Written = 0;
        ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), Text.data(), static_cast<DWORD>(Text.size()),
                    &Written, nullptr);
        return 0;
    }
    try
    {
        Application->Initialize();
        Application->CreateForm(&Form1);
        TDriver Driver(*Form1, std::move(Orders));
        Application->Run();
        if (!Driver.Finished())
        {
            Say(Contract::ReportLine(Contract::TLine::Closed,
                                     "the window closed before the pictures were taken"));
            Finish(Contract::ExitClosed);
        }
    }
    catch (const TDriverFailure& Failure)
    {
        Say(Contract::ReportLine(Contract::TLine::Failed, Failure.Text));
        Finish(Contract::ExitFailed);
    }
    catch (const Exception& E)
    {
        Say(Contract::ReportLine(Contract::TLine::Exception, E.Message()));
        Finish(Contract::ExitException);
    }
    catch (const std::exception& E)
    {
        Say(Contract::ReportLine(Contract::TLine::Exception, E.what()));
        Finish(Contract::ExitException);
    }
    catch (...)
    {
        Say(Contract::ReportLine(Contract::TLine::Exception, "one that is not a std::exception"));
        Finish(Contract::ExitException);
    }
    return 0;
}
