#include "Forms.h"

#include <algorithm>
#include <cctype>
#include <cwctype>
#include <exception>
#include <type_traits>

namespace
{

// NOTE: a C++ exception must not unwind through user32's frames (on Wine it ends in
// std::terminate). The window procedure parks it here and our own code rethrows it once the
// system call that dispatched the message has returned. The one GUI thread is the only user.
std::exception_ptr PendingException;

void RethrowPendingException()
{
    if (PendingException)
        std::rethrow_exception(std::exchange(PendingException, nullptr));
}

HINSTANCE ModuleInstance()
{
    return ::GetModuleHandleW(nullptr);
}

std::string ModuleTitle()
{
    wchar_t Path[MAX_PATH];
    const DWORD Length = ::GetModuleFileNameW(nullptr, Path, MAX_PATH);
    std::wstring_view Name(Path, Length);
    Name = Name.substr(Name.find_last_of(L"\\/") + 1);
    const auto Dot = Name.find_last_of(L'.');
    return Narrow(Dot == std::wstring_view::npos ? Name : Name.substr(0, Dot));
}

void RegisterWindowClass(const std::wstring& Name, WNDPROC Procedure)
{
    WNDCLASSEXW Class{};
    Class.cbSize = sizeof Class;
    if (::GetClassInfoExW(ModuleInstance(), Name.c_str(), &Class))
        return;

    Class.cbSize = sizeof Class;
    // NOTE: CS_OWNDC gives each window a device context of its own that stays valid for the
    // window's life, which an OpenGL context bound to it needs. No background brush: the
    // client area belongs to whoever draws in it.
    Class.style = CS_OWNDC;
    Class.lpfnWndProc = Procedure;
    Class.hInstance = ModuleInstance();
    Class.hIcon = ::LoadIconW(ModuleInstance(), L"MAINICON");
    if (!Class.hIcon)
        Class.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    Class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    Class.lpszClassName = Name.c_str();
    if (!::RegisterClassExW(&Class))
        RaiseLastOSError("RegisterClassExW");
}

TShiftState CurrentShiftState()
{
    TShiftState Shift = 0;
    if (::GetKeyState(VK_SHIFT) < 0)
        Shift |= ssShift;
    if (::GetKeyState(VK_MENU) < 0)
        Shift |= ssAlt;
    if (::GetKeyState(VK_CONTROL) < 0)
        Shift |= ssCtrl;
    return Shift;
}

std::string UpperCase(std::string Text)
{
    std::transform(Text.begin(), Text.end(), Text.begin(),
                   [](unsigned char C) { return static_cast<char>(std::toupper(C)); });
    return Text;
}

// The application object, defined after everything above so that it is destroyed first.
TApplication TheApplication;

} // namespace

TApplication* Application = &TheApplication;

std::wstring Widen(std::string_view Utf8)
{
    if (Utf8.empty())
        return {};
    const int Size = static_cast<int>(Utf8.size());
    const int Length = ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), Size, nullptr, 0);
    std::wstring Out(static_cast<std::size_t>(Length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), Size, Out.data(), Length);
    return Out;
}

std::string Narrow(std::wstring_view Utf16)
{
    if (Utf16.empty())
        return {};
    const int Size = static_cast<int>(Utf16.size());
    const int Length =
        ::WideCharToMultiByte(CP_UTF8, 0, Utf16.data(), Size, nullptr, 0, nullptr, nullptr);
    std::string Out(static_cast<std::size_t>(Length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, Utf16.data(), Size, Out.data(), Length, nullptr, nullptr);
    return Out;
}

void RaiseLastOSError(const char* Operation)
{
    const DWORD Code = ::GetLastError();
    wchar_t* Text = nullptr;
    const DWORD Length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, Code, 0, reinterpret_cast<wchar_t*>(&Text), 0, nullptr);
    std::wstring Message = Length ? std::wstring(Text, Length) : std::wstring();
    ::LocalFree(Text);
    while (!Message.empty() && std::iswspace(Message.back()))
        Message.pop_back();
    if (Message.empty())
        Message = L"system error " + std::to_wstring(Code);
    throw Exception(std::string(Operation) + " failed: " + Narrow(Message));
}

// --- TWinControl -------------------------------------------------------------------------

TWinControl::~TWinControl()
{
    DestroyHandle();
}

HWND TWinControl::GetHandle()
{
    if (!Handle)
        CreateHandle();
    return Handle;
}

void TWinControl::CreateHandle()
{
    const TCreateParams Params = CreateParams();
    RegisterWindowClass(Params.WindowClass, WindowProc);
    const HWND Window = ::CreateWindowExW(
        Params.ExStyle, Params.WindowClass.c_str(), Params.Caption.c_str(), Params.Style, Params.X,
        Params.Y, Params.Width, Params.Height, nullptr, nullptr, ModuleInstance(), this);
    // A handler's exception during creation explains a failure better than the system's code.
    RethrowPendingException();
    if (!Window)
        RaiseLastOSError("CreateWindowExW");
}

void TWinControl::DestroyHandle()
{
    if (!Handle)
        return;
    // Detached first: the messages that DestroyWindow sends find no half-destroyed object.
    const HWND Window = std::exchange(Handle, nullptr);
    ::SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
    ::DestroyWindow(Window);
}

RECT TWinControl::ClientRect() const
{
    RECT Rect{};
    if (!Handle)
        return TControl::ClientRect();
    ::GetClientRect(Handle, &Rect);
    return Rect;
}

LRESULT TWinControl::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam)
{
    switch (Msg)
    {
        case WM_WINDOWPOSCHANGED:
        {
            const auto* Pos = reinterpret_cast<const WINDOWPOS*>(LParam);
            if (!(Pos->flags & SWP_NOMOVE))
            {
                Left = Pos->x;
                Top = Pos->y;
            }
            if (!(Pos->flags & SWP_NOSIZE))
            {
                Width = Pos->cx;
                Height = Pos->cy;
            }
            break; // the default handler turns it into WM_SIZE and WM_MOVE
        }
        case WM_NCDESTROY:
        {
            const LRESULT Result = DefaultHandler(Msg, WParam, LParam);
            ::SetWindowLongPtrW(Handle, GWLP_USERDATA, 0);
            Handle = nullptr;
            return Result;
        }
    }
    return DefaultHandler(Msg, WParam, LParam);
}

LRESULT TWinControl::DefaultHandler(UINT Msg, WPARAM WParam, LPARAM LParam)
{
    return ::DefWindowProcW(Handle, Msg, WParam, LParam);
}

LRESULT CALLBACK TWinControl::WindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam)
{
    if (Msg == WM_NCCREATE)
    {
        auto* Control = static_cast<TWinControl*>(
            reinterpret_cast<const CREATESTRUCTW*>(LParam)->lpCreateParams);
        Control->Handle = Window;
        ::SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Control));
    }
    auto* Control = reinterpret_cast<TWinControl*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
    if (!Control)
        return ::DefWindowProcW(Window, Msg, WParam, LParam);
    try
    {
        return Control->WndProc(Msg, WParam, LParam);
    }
    catch (...)
    {
        if (!PendingException)
            PendingException = std::current_exception();
        // Creation messages say "abort" with these; for the rest 0 is the neutral answer.
        return Msg == WM_NCCREATE ? FALSE : Msg == WM_CREATE ? -1 : 0;
    }
}

// --- TCustomForm -------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* Owner) : TWinControl(Owner) {}

TCustomForm::~TCustomForm()
{
    if (Created && OnDestroy)
    {
        // A destructor cannot pass the exception on; show it rather than lose it.
        try
        {
            OnDestroy(this);
        }
        catch (const Exception& E)
        {
            if (TApplication* App = OwnerApplication())
                App->ShowException(E);
        }
        catch (const std::exception& E)
        {
            if (TApplication* App = OwnerApplication())
                App->ShowException(Exception(E.what()));
        }
    }
    DestroyHandle();
}

void TCustomForm::LoadDefinition(const char* FormClassName, const TMethodFinder& FindMethod)
{
    ClassName = FormClassName;
    const std::string Resource = UpperCase(ClassName);
    const HRSRC Info = ::FindResourceW(ModuleInstance(), Widen(Resource).c_str(), RT_RCDATA);
    if (!Info)
        throw Exception("The form definition " + Resource +
                        " is missing from the executable's resources");
    const HGLOBAL Data = ::LoadResource(ModuleInstance(), Info);
    const void* Bytes = Data ? ::LockResource(Data) : nullptr;
    if (!Bytes)
        RaiseLastOSError("LoadResource");
    const TFormDefinition Definition = ReadFormDefinition(
        std::string_view(static_cast<const char*>(Bytes), ::SizeofResource(ModuleInstance(), Info)),
        Resource);

    const std::string At = Resource + ", line ";
    if (Definition.ClassName != ClassName)
        throw Exception(At + std::to_string(Definition.ClassLine) + ": describes the class " +
                        Definition.ClassName + ", not " + ClassName);

    // Bind every event before applying anything, so that a fault leaves no half-built form.
    using TEventSlot = std::variant<TNotifyEvent TCustomForm::*, TKeyEvent TCustomForm::*>;
    static const std::pair<std::string_view, TEventSlot> Events[] = {
        {"OnCreate", &TCustomForm::OnCreate},
        {"OnDestroy", &TCustomForm::OnDestroy},
        {"OnResize", &TCustomForm::OnResize},
        {"OnKeyDown", &TCustomForm::OnKeyDown},
    };
    for (const TEventBinding& Binding : Definition.Events)
    {
        const std::string Where =
            At + std::to_string(Binding.Line) + ", property " + Binding.Event + ": ";
        const auto Slot =
            std::find_if(std::begin(Events), std::end(Events),
                         [&](const auto& Event) { return Event.first == Binding.Event; });
        if (Slot == std::end(Events))
            throw Exception(Where + ClassName + " has no event " + Binding.Event);
        TBoundMethod Method;
        if (!FindMethod(Binding.Method, Method))
            throw Exception(Where + ClassName + " publishes no method " + Binding.Method);
        std::visit(
            [&](auto Member)
            {
                using TEvent = std::remove_reference_t<decltype(this->*Member)>;
                auto* Handler = std::get_if<TEvent>(&Method);
                if (!Handler)
                    throw Exception(Where + "the method " + Binding.Method +
                                    " does not take the parameters of " + Binding.Event);
                this->*Member = std::move(*Handler);
            },
            Slot->second);
    }

    Name = Definition.ObjectName;
    Left = Definition.Left;
    Top = Definition.Top;
    Width = Definition.Width;
    Height = Definition.Height;
    Caption = Definition.Caption;
    Font = Definition.Font;
    Position = Definition.Position;
    PixelsPerInch = Definition.PixelsPerInch;
    TextHeight = Definition.TextHeight;
}

TWinControl::TCreateParams TCustomForm::CreateParams() const
{
    TCreateParams Params;
    Params.WindowClass = Widen(ClassName);
    Params.Caption = Widen(Caption);
    Params.Style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    Params.Width = Width;
    Params.Height = Height;
    switch (Position)
    {
        case TPosition::poDesigned:
            Params.X = Left;
            Params.Y = Top;
            break;
        case TPosition::poDefaultPosOnly:
            Params.X = CW_USEDEFAULT;
            Params.Y = 0;
            break;
        case TPosition::poScreenCenter:
        {
            // Centred on the work area; a window larger than it keeps its caption on screen.
            RECT Work{};
            ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &Work, 0);
            Params.X = std::max(Work.left, Work.left + (Work.right - Work.left - Width) / 2);
            Params.Y = std::max(Work.top, Work.top + (Work.bottom - Work.top - Height) / 2);
            break;
        }
    }
    return Params;
}

LRESULT TCustomForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam)
{
    switch (Msg)
    {
        case WM_SIZE:
            DoResize();
            return 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (OnKeyDown)
            {
                WORD Key = LOWORD(WParam);
                OnKeyDown(this, Key, CurrentShiftState());
                if (Key == 0) // the handler took the key: no system command (Alt+F4, F10) for it
                    return 0;
            }
            break;
        case WM_CLOSE: // the close button, Alt+F4 and the system menu
            Close();
            return 0;
        case WM_ERASEBKGND:
            return 1; // NOTE: an erased background would flicker over an OpenGL surface
        case WM_PAINT:
            // NOTE: a paint message left unvalidated comes back at once, forever, and the
            // queue is never empty for the idle handler.
            ::ValidateRect(GetHandle(), nullptr);
            return 0;
    }
    return TWinControl::WndProc(Msg, WParam, LParam);
}

void TCustomForm::DoCreate()
{
    Created = true;
    if (OnCreate)
        OnCreate(this);
    ResizePending = true;
}

void TCustomForm::DoResize()
{
    ResizePending = false;
    if (OnResize)
        OnResize(this);
}

void TCustomForm::Show()
{
    ::ShowWindow(GetHandle(), SW_SHOW);
    RethrowPendingException();
    if (!Shown)
    {
        Shown = true;
        if (ResizePending)
            DoResize();
    }
}

void TCustomForm::Hide()
{
    if (HandleAllocated())
        ::ShowWindow(GetHandle(), SW_HIDE);
    RethrowPendingException();
}

void TCustomForm::Close()
{
    TApplication* App = OwnerApplication();
    if (App && App->MainForm() == this)
        App->Terminate();
    else
        Hide();
}

void TCustomForm::SetClientSize(int Width, int Height)
{
    const HWND Window = GetHandle();
    RECT Outer{}, Client{};
    ::GetWindowRect(Window, &Outer);
    ::GetClientRect(Window, &Client);
    // The frame as it is now, which covers menus and styles a computed one would miss.
    const int FrameX = (Outer.right - Outer.left) - Client.right;
    const int FrameY = (Outer.bottom - Outer.top) - Client.bottom;
    ::SetWindowPos(Window, nullptr, 0, 0, Width + FrameX, Height + FrameY,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RethrowPendingException();
}

TApplication* TCustomForm::OwnerApplication() const
{
    for (TComponent* Owner = GetOwner(); Owner; Owner = Owner->GetOwner())
        if (auto* App = dynamic_cast<TApplication*>(Owner))
            return App;
    return nullptr;
}

// --- TApplication ------------------------------------------------------------------------

TApplication::~TApplication()
{
    while (!Forms.empty())
    {
        std::unique_ptr<TCustomForm> Last = std::move(Forms.back());
        Forms.pop_back();
        if (Main == Last.get())
            Main = nullptr;
    }
}

void TApplication::Initialize()
{
    if (Title.empty())
        Title = ModuleTitle();
}

void TApplication::Adopt(std::unique_ptr<TCustomForm> Form)
{
    if (!Main)
        Main = Form.get();
    Forms.push_back(std::move(Form));
}

void TApplication::Run()
{
    if (!Main)
        return;
    Main->Show();
    while (!Quit)
        HandleMessage();
}

// One turn of the loop: a waiting message if there is one, else the idle handler. Per idle
// turn the only system call of the loop's own is PeekMessageW.
void TApplication::HandleMessage()
{
    MSG Msg;
    if (::PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE))
    {
        if (Msg.message == WM_QUIT)
        {
            Quit = true;
            return;
        }
        ::TranslateMessage(&Msg);
        ::DispatchMessageW(&Msg);
        RethrowPendingException();
        return;
    }
    bool Done = true;
    if (OnIdle)
        OnIdle(this, Done);
    if (Done)
        ::WaitMessage();
}

void TApplication::Terminate()
{
    ::PostQuitMessage(0);
}

void TApplication::ShowException(const Exception& E)
{
    const std::string Caption = Title.empty() ? ModuleTitle() : Title;
    ::MessageBoxW(nullptr, Widen(E.Message()).c_str(), Widen(Caption).c_str(),
                  MB_OK | MB_ICONERROR | MB_TASKMODAL);
}
