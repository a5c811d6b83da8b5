// Drives the real viewer for a long run and watches it for leaks.
//
//   soak_driver <minutes> [work folder]
//
// Copies the program and its plug-ins (the WIC filter and "tenthcrash", a
// test filter that faults on every tenth picture) into a fresh folder, writes
// a few hundred pictures of every kind (BMP of each depth and RLE, JPEG, pmp,
// PNG, GIF, tiny pictures, two broken files) and an album of them, starts
// piltrin.exe on the album and then, cycle after cycle: steps through the
// pages as a slideshow, opens the ZubBOX and pages it, saves the album,
// reopens it through the FileBOX, resizes the window. After each cycle, in
// the same state each time, it samples the viewer's memory, handles, GDI and
// USER objects (where the system reports them) and the viewer's own block
// counts, and in the end fails (exit 1) when any of them grew over the run.
// Message boxes the viewer shows (the plug-in left out) are answered with OK.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "album/zub_album.h"
#include "plugins/test_common/tiny_picture.h"
#include "resources/resource_ids.h"
#include "tests/plugins/plugin_fixtures.h"
#include "tests/support/jpeg_test_files.h"
#include "tests/support/test_files.h"

namespace {
constexpr int kCommandZubBox = 18, kCommandSave = 20, kCommandFitOrTrueSize = 21, kCommandFileBox = 40002;
constexpr int kSlideshowSteps = 60;

struct Sample {
    double seconds;
    SIZE_T privateBytes, workingSet;
    DWORD handles, gdi, user;
    LRESULT dibBlocks, albumBlocks;
};

std::string Folder(const char* path) {
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

bool Copy(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

Bytes TinyPicture(int width, int height) {
    Bytes out(tiny_picture::kMagic, tiny_picture::kMagic + 4);
    PutU16(out, uint32_t(width)), PutU16(out, uint32_t(height)), PutU8(out, 0);
    for (int i = 0; i < width * height; ++i) PutU8(out, i), PutU8(out, i >> 4), PutU8(out, 90);
    return out;
}

// A few hundred pictures of every kind the viewer reads, and two it cannot.
std::vector<std::string> WritePictures(const std::string& folder) {
    ComThread com;
    std::vector<std::string> names;
    auto add = [&](const std::string& name, const Bytes& bytes) {
        if (WriteFileBytes(folder + name, bytes)) names.push_back(folder + name);
    };
    const int bits[] = {1, 4, 8, 16, 24, 32};
    for (int i = 0; i < 30; ++i) {
        const int w = 64 + (i * 37) % 700, h = 48 + (i * 53) % 500;
        const std::string n = std::to_string(i);
        for (int b : bits) add("b" + n + "_" + std::to_string(b) + ".bmp", MakeBmp(w, h, b, i % 2 == 1));
        const Bytes jpeg = MakeJpeg(w * 2, h * 2, DistinctPixel);
        add("j" + n + ".jpg", jpeg);
        add("m" + n + ".pmp", MakePmp(jpeg, 64));
        add("p" + n + ".png", EncodeWithWic(GUID_ContainerFormatPng, Bgr24Source(w, h)));
        add("g" + n + ".gif", EncodeWithWic(GUID_ContainerFormatGif, Bgr24Source(w / 2, h / 2)));
        add("t" + n + ".tpc", TinyPicture(16 + i, 12 + i));
        Bytes rle = {1, 7, 2, 9, 0, 0, 3, 1, 0, 1};  // runs, an end of line, the end of the picture
        add("r" + n + ".bmp", BmpFile(40, 4, 2, 8, BI_RLE8, {}, std::vector<uint32_t>(256, 0x336699), rle));
    }
    Bytes huge = MakeBmp(4, 3, 24);  // 60,000 x 60,000 declared: refused unread
    for (size_t at : {18, 22}) huge[at] = 0x60, huge[at + 1] = 0xEA;
    add("huge.bmp", huge);
    add("broken.jpg", Bytes(700, 0x5A));
    add("broken.bmp", Bytes{'B', 'M', 1, 2, 3});
    return names;
}

// The program with its helpers and plug-ins, in a folder of its own.
bool StageProgram(const std::string& bin, const std::string& folder) {
    const std::string plugin = sizeof(void*) == 8 ? ".sph" : ".spi";
    bool ok = Copy(bin + "piltrin.exe", folder + "piltrin.exe") &&
              Copy(bin + "Piltrin.bmp", folder + "Piltrin.bmp");
    for (const char* helper : {"piltrin-plugins32.exe", "piltrin-plugins64.exe"})
        Copy(bin + helper, folder + helper);
    Copy(bin + "ifwic" + plugin, folder + "ifwic" + plugin);
    return ok && Copy(bin + "testplugins\\tenthcrash\\tenthcrash" + plugin, folder + "tenthcrash" + plugin);
}

DWORD viewerProcess;

// The viewer's top-level windows of a window class ("#32770": dialogs).
std::vector<HWND> ViewerWindows(const char* windowClass) {
    std::vector<HWND> found;
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, windowClass, nullptr)) != nullptr;) {
        DWORD process = 0;
        GetWindowThreadProcessId(w, &process);
        if (process == viewerProcess && IsWindowVisible(w)) found.push_back(w);
    }
    return found;
}

HWND DialogWithControl(int id) {
    for (HWND w : ViewerWindows("#32770"))
        if (GetDlgItem(w, id)) return w;
    return nullptr;
}

int messagesAnswered = 0;
std::set<HWND> answered;
std::set<std::string> titlesSeen;  // the pictures the slideshow showed

// Lets the viewer finish what it was sent; answers any message box on the way.
void Settle(HWND viewer, DWORD pause = 0) {
    for (DWORD start = GetTickCount();;) {
        for (HWND w : ViewerWindows("#32770")) {
            if (GetDlgItem(w, PILTRIN_ZUBBOX_NEXT) || GetDlgItem(w, PILTRIN_FILEBOX_ALBUMS)) continue;
            PostMessageA(w, WM_COMMAND, IDOK, 0);
            if (!answered.insert(w).second) continue;
            char text[256] = "";
            GetDlgItemTextA(w, 0xFFFF, text, sizeof text);
            std::printf("soak: message \"%s\" answered\n", text);
            ++messagesAnswered;
        }
        SendMessageTimeoutA(viewer, WM_NULL, 0, 0, SMTO_NORMAL, 200, nullptr);
        if (GetTickCount() - start >= pause) return;
        Sleep(std::min<DWORD>(pause, 100));
    }
}

void Command(HWND window, int id) {
    PostMessageA(window, WM_COMMAND, WPARAM(id), 0);
}

void CloseBox(HWND viewer, int controlId) {
    if (HWND box = DialogWithControl(controlId)) PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    Settle(viewer, 200);
}

// Opens the FileBOX on the pictures' folder and has it open the given line
// of one of its lists (the button of that list), which also ends the box.
void OpenFromFileBox(HWND viewer, int listId, int buttonId, LRESULT line) {
    Command(viewer, kCommandFileBox);
    Settle(viewer, 800);
    if (HWND box = DialogWithControl(PILTRIN_FILEBOX_ALBUMS)) {
        HWND list = GetDlgItem(box, listId);
        const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
        if (count > 0) {
            line %= count;
            SendMessageA(list, LB_SETSEL, TRUE, line);  // a list of one choice ignores it
            SendMessageA(list, LB_SETCURSEL, WPARAM(line), 0);
            SendMessageA(list, LB_SETCARETINDEX, WPARAM(line), 0);
            PostMessageA(box, WM_COMMAND, WPARAM(buttonId), 0);
            Settle(viewer, 600);
        }
    }
    CloseBox(viewer, PILTRIN_FILEBOX_ALBUMS);
}

// One round of everything the user does, ending in the same state each
// time: the album just reopened, its cover shown, the boxes closed. The
// slideshow starts where the last one stopped, through the folder's list.
void Cycle(HWND viewer, int cycle) {
    OpenFromFileBox(viewer, PILTRIN_FOLDER_FILES, PILTRIN_FILEBOX_OPEN, LRESULT(cycle) * kSlideshowSteps);
    for (int step = 0; step < kSlideshowSteps; ++step) {
        PostMessageA(viewer, WM_KEYDOWN, VK_RIGHT, 0);
        Settle(viewer);
        char title[MAX_PATH] = "";
        GetWindowTextA(viewer, title, sizeof title);
        titlesSeen.insert(title);
    }
    Command(viewer, kCommandZubBox);
    Settle(viewer, 600);
    if (HWND box = DialogWithControl(PILTRIN_ZUBBOX_NEXT)) {
        for (int page = 0; page < 4; ++page)
            PostMessageA(box, WM_COMMAND, PILTRIN_ZUBBOX_NEXT, 0), Settle(viewer, 150);
    }
    CloseBox(viewer, PILTRIN_ZUBBOX_NEXT);
    Command(viewer, kCommandSave);
    Settle(viewer);
    OpenFromFileBox(viewer, PILTRIN_FILEBOX_ALBUMS, PILTRIN_FILEBOX_OPEN_ALBUM, 0);
    CloseBox(viewer, PILTRIN_ZUBBOX_NEXT);
    if (cycle % 2) Command(viewer, kCommandFitOrTrueSize), Settle(viewer);
    SetWindowPos(viewer, nullptr, 0, 0, 300 + (cycle % 5) * 80, 240 + (cycle % 3) * 90,
                 SWP_NOMOVE | SWP_NOZORDER);
    Settle(viewer, 300);
}

// The process's handles as the system's handle table lists them, where the
// process's own count is not kept (Wine answers 0 there).
DWORD HandlesInSystemTable(DWORD processId) {
    struct Entry {
        ULONG process;
        BYTE type, flags;
        USHORT value;
        void* object;
        ULONG access;
    };
    using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    std::vector<uint8_t> table(1 << 20);
    ULONG needed = 0;
    for (LONG status; (status = query(16, table.data(), ULONG(table.size()), &needed)) != 0;) {
        if (table.size() >= (64u << 20)) return 0;
        table.resize(std::max<size_t>(table.size() * 2, needed));
    }
    const ULONG count = *reinterpret_cast<const ULONG*>(table.data());
    const auto* entries = reinterpret_cast<const Entry*>(table.data() + sizeof(void*));
    DWORD handles = 0;
    for (ULONG i = 0; i < count && sizeof(void*) + (i + 1) * sizeof(Entry) <= table.size(); ++i)
        handles += entries[i].process == processId;
    return handles;
}

Sample Measure(HANDLE process, HWND viewer, UINT blockQuery, double seconds) {
    Sample s{seconds, 0, 0, 0, 0, 0, -1, -1};
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        s.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
        s.workingSet = memory.WorkingSetSize;
    }
    if (!GetProcessHandleCount(process, &s.handles) || s.handles == 0)
        s.handles = HandlesInSystemTable(viewerProcess);
    s.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    s.user = GetGuiResources(process, GR_USEROBJECTS);
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutA(viewer, blockQuery, 0, 0, SMTO_NORMAL, 5000, &answer))
        s.dibBlocks = LRESULT(answer);
    if (SendMessageTimeoutA(viewer, blockQuery, 1, 0, SMTO_NORMAL, 5000, &answer))
        s.albumBlocks = LRESULT(answer);
    return s;
}

void Print(const char* label, const Sample& s) {
    std::printf(
        "%s %6.0f s  private %7.1f MB  working set %7.1f MB  handles %4lu  GDI %4lu  USER %4lu  "
        "picture blocks %3ld  album blocks %5ld\n",
        label, s.seconds, s.privateBytes / 1048576.0, s.workingSet / 1048576.0, s.handles, s.gdi, s.user,
        long(s.dibBlocks), long(s.albumBlocks));
    std::fflush(stdout);
}

// Growth: the last third of the run above the middle third. The first third
// is the program settling (the slideshow meets each picture for the first
// time, the plug-in helper's shared memory grows to the largest picture, the
// dialogs' libraries load). Counts may not grow at all; memory may move
// within a margin, but not climb beyond it.
template <typename T>
bool Grew(const std::vector<Sample>& samples, T Sample::*field, double margin) {
    const size_t third = samples.size() / 3;
    T middleMax = 0, lastMin = samples.back().*field;
    for (size_t i = third; i < 2 * third; ++i) middleMax = std::max(middleMax, samples[i].*field);
    for (size_t i = samples.size() - third; i < samples.size(); ++i)
        lastMin = std::min(lastMin, samples[i].*field);
    return double(lastMin) > double(middleMax) * (1 + margin) + (margin > 0 ? 4 * 1048576.0 : 0);
}
}  // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 1;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string bin = Folder(self);
    TempDir work;
    const std::string program = work.File("program\\"), pictures = work.File("pictures\\");
    CreateDirectoryA(program.c_str(), nullptr);
    CreateDirectoryA(pictures.c_str(), nullptr);
    if (!StageProgram(bin, program)) {
        std::printf("soak: the program or the tenthcrash plug-in is missing in %s\n", bin.c_str());
        return 2;
    }
    const std::vector<std::string> names = WritePictures(pictures);
    ZubAlbum album;
    for (const std::string& name : names) album.AddPage(name.c_str());
    const std::string zub = pictures + "soak.zub";
    if (!album.SaveFile(zub.c_str())) return 2;
    std::printf("soak: %zu pictures, %.1f minutes\n", names.size(), minutes);

    std::string line = "\"" + program + "piltrin.exe\" " + zub;
    // The folder dialog writes its trace lines to the standard output; the
    // viewer's go nowhere, so that the driver's own figures stay readable.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nowhere;
    PROCESS_INFORMATION viewerInfo{};
    SetEnvironmentVariableA("PILTRIN_REPORT_BLOCKS", "1");
    const BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        program.c_str(), &startup, &viewerInfo);
    CloseHandle(nowhere);
    if (!started) {
        std::printf("soak: piltrin.exe did not start\n");
        return 2;
    }
    viewerProcess = viewerInfo.dwProcessId;
    WaitForInputIdle(viewerInfo.hProcess, 20000);
    HWND viewer = nullptr;
    for (int i = 0; i < 200 && !viewer; ++i) {
        std::vector<HWND> windows = ViewerWindows("Piltrin V1.81");
        if (!windows.empty())
            viewer = windows[0];
        else
            Sleep(50);
    }
    if (!viewer) {
        std::printf("soak: the viewer's window did not appear\n");
        TerminateProcess(viewerInfo.hProcess, 1);
        return 2;
    }
    const UINT blockQuery = RegisterWindowMessageA("PiltrinLiveBlocks");
    const DWORD start = GetTickCount();
    const DWORD length = DWORD(minutes * 60000);
    std::vector<Sample> samples;
    int failed = 0;
    for (int cycle = 0; GetTickCount() - start < length; ++cycle) {
        Cycle(viewer, cycle);
        if (WaitForSingleObject(viewerInfo.hProcess, 0) == WAIT_OBJECT_0) {
            std::printf("soak: the viewer ended during cycle %d\n", cycle);
            failed = 1;
            break;
        }
        samples.push_back(
            Measure(viewerInfo.hProcess, viewer, blockQuery, (GetTickCount() - start) / 1000.0));
        Print(cycle == 0 ? "start " : "cycle ", samples.back());
    }
    if (!failed && samples.size() >= 4) {
        samples.erase(samples.begin());
        Print("middle", samples[samples.size() / 3]);
        Print("end   ", samples.back());
        const struct {
            const char* name;
            bool grew;
        } checks[] = {{"private memory", Grew(samples, &Sample::privateBytes, 0.10)},
                      {"working set", Grew(samples, &Sample::workingSet, 0.10)},
                      {"handles", Grew(samples, &Sample::handles, 0.0)},
                      {"GDI objects", Grew(samples, &Sample::gdi, 0.0)},
                      {"USER objects", Grew(samples, &Sample::user, 0.0)},
                      {"picture blocks", Grew(samples, &Sample::dibBlocks, 0.0)},
                      {"album blocks", Grew(samples, &Sample::albumBlocks, 0.0)}};
        for (const auto& check : checks) {
            if (!check.grew) continue;
            std::printf("soak: %s grew over the run\n", check.name);
            failed = 1;
        }
        std::printf("soak: %zu cycles, %zu titles seen, %d messages answered: %s\n", samples.size() + 1,
                    titlesSeen.size(), messagesAnswered, failed ? "FAILED" : "nothing grew");
    } else if (!failed) {
        std::printf("soak: too short to judge (%zu cycles)\n", samples.size());
        failed = 1;
    }
    PostMessageA(viewer, WM_COMMAND, 40001, 0);
    if (WaitForSingleObject(viewerInfo.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(viewerInfo.hProcess, 1);
    CloseHandle(viewerInfo.hThread);
    CloseHandle(viewerInfo.hProcess);
    return failed;
}
