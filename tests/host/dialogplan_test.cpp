// When the stand-in dock's scripted user closes the docklet's dialogs: each case is a
// run of looks at the screen and what the dock must do at each.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "dialogplan.h"

namespace {

const HWND SHEET = reinterpret_cast<HWND>(0x10);
const HWND EDITOR = reinterpret_cast<HWND>(0x20);
const HWND BOX = reinterpret_cast<HWND>(0x30);
const DWORD DOCK = 1, WORKER = 2;

ShownDialog Dialog(HWND hwnd, DWORD thread = DOCK) {
    return {hwnd, thread, false};
}
ShownDialog MessageBox(HWND hwnd, DWORD thread = DOCK) {
    return {hwnd, thread, true};
}

struct Look {
    DWORD dwAt;
    std::vector<ShownDialog> shown;  // topmost first
    std::vector<DialogAction> expected;
};

struct Case {
    const char* name;
    std::vector<Look> looks;
};

std::string Describe(const std::vector<DialogAction>& actions) {
    static const char* const c_aszSteps[] = {"report", "close", "cancel", "give up"};
    std::string out;
    for (const DialogAction& a : actions)
        out += std::string(c_aszSteps[a.step]) + "(" + std::to_string(reinterpret_cast<ULONG_PTR>(a.hwnd)) + ") ";
    return out;
}

const DWORD c_dwDialogMs = 500;
const DWORD c_dwLate = 0xFFFFFF00;  // shortly before the tick counter wraps

const Case c_cases[] = {
    {"closed once its time has come, not before",
     {{0, {Dialog(SHEET)}, {{SHEET, STEP_REPORT}}},
      {400, {Dialog(SHEET)}, {}},
      {500, {Dialog(SHEET)}, {{SHEET, STEP_CLOSE}}},
      {600, {}, {}}}},
    {"a message box is closed at once",
     {{0, {MessageBox(BOX)}, {{BOX, STEP_REPORT}, {BOX, STEP_CLOSE}}}}},
    {"a dialog waits while a newer one of its thread is open, then has its whole time",
     {{0, {Dialog(SHEET)}, {{SHEET, STEP_REPORT}}},
      {300, {Dialog(EDITOR), Dialog(SHEET)}, {{EDITOR, STEP_REPORT}}},
      {800, {Dialog(EDITOR), Dialog(SHEET)}, {{EDITOR, STEP_CLOSE}}},
      {900, {Dialog(SHEET)}, {}},
      {1300, {Dialog(SHEET)}, {}},
      {1400, {Dialog(SHEET)}, {{SHEET, STEP_CLOSE}}}}},
    {"of two first seen in one look the upper is the newer, whatever lies on top later",
     {{0, {Dialog(SHEET), Dialog(EDITOR)}, {{EDITOR, STEP_REPORT}, {SHEET, STEP_REPORT}}},
      {500, {Dialog(EDITOR), Dialog(SHEET)}, {{SHEET, STEP_CLOSE}}}}},
    {"a message box of another thread does not hold the dock's dialog",
     {{0, {Dialog(SHEET)}, {{SHEET, STEP_REPORT}}},
      {100, {MessageBox(BOX, WORKER), Dialog(SHEET)}, {{BOX, STEP_REPORT}, {BOX, STEP_CLOSE}}},
      {500, {MessageBox(BOX, WORKER), Dialog(SHEET)}, {{SHEET, STEP_CLOSE}}}}},
    {"asked again with Cancel every second, and given up after the limit",
     {{0, {Dialog(SHEET)}, {{SHEET, STEP_REPORT}}},
      {500, {Dialog(SHEET)}, {{SHEET, STEP_CLOSE}}},
      {1400, {Dialog(SHEET)}, {}},
      {1500, {Dialog(SHEET)}, {{SHEET, STEP_CANCEL}}},
      {2500, {Dialog(SHEET)}, {{SHEET, STEP_CANCEL}}},
      {10400, {Dialog(SHEET)}, {{SHEET, STEP_CANCEL}}},
      {10500, {Dialog(SHEET)}, {{SHEET, STEP_GIVE_UP}}}}},
    {"the time a dialog is asked counts only while nothing of its own is open over it",
     {{0, {Dialog(SHEET)}, {{SHEET, STEP_REPORT}}},
      {500, {Dialog(SHEET)}, {{SHEET, STEP_CLOSE}}},
      {9500, {Dialog(EDITOR), Dialog(SHEET)}, {{EDITOR, STEP_REPORT}}},
      {19000, {Dialog(EDITOR), Dialog(SHEET)}, {{EDITOR, STEP_CLOSE}}},
      {19100, {Dialog(SHEET)}, {{SHEET, STEP_CANCEL}}},
      {19200, {Dialog(SHEET)}, {}}}},
    {"a handle shown again after its dialog closed is a new dialog",
     {{0, {Dialog(SHEET)}, {{SHEET, STEP_REPORT}}},
      {500, {Dialog(SHEET)}, {{SHEET, STEP_CLOSE}}},
      {600, {}, {}},
      {700, {Dialog(SHEET)}, {{SHEET, STEP_REPORT}}},
      {1100, {Dialog(SHEET)}, {}}}},
    {"the tick counter wrapping neither closes early nor holds a dialog open",
     {{c_dwLate, {Dialog(SHEET)}, {{SHEET, STEP_REPORT}}},
      {c_dwLate + 100, {Dialog(SHEET)}, {}},
      {c_dwLate + 500, {Dialog(SHEET)}, {{SHEET, STEP_CLOSE}}}}},
};

TEST(DialogPlan, ClosesEachDialogInTurnAndGivesUpOnOneThatStays) {
    for (const Case& c : c_cases) {
        std::vector<TrackedDialog> tracked;
        for (const Look& look : c.looks) {
            std::vector<DialogAction> actions = PlanDialogs(tracked, look.shown, look.dwAt, c_dwDialogMs);
            EXPECT_EQ(Describe(actions), Describe(look.expected)) << c.name << ", at " << look.dwAt - c.looks[0].dwAt;
        }
    }
}

TEST(DialogPlan, PressesGoToTheNewestDialogAndRestartItsTime) {
    std::vector<TrackedDialog> tracked;
    PlanDialogs(tracked, {Dialog(SHEET)}, 0, c_dwDialogMs);
    PlanDialogs(tracked, {Dialog(EDITOR), Dialog(SHEET)}, 100, c_dwDialogMs);
    EXPECT_EQ(NewestDialog(tracked), EDITOR);
    RestartDialogTime(tracked, EDITOR, 400, c_dwDialogMs);
    EXPECT_EQ(Describe(PlanDialogs(tracked, {Dialog(EDITOR), Dialog(SHEET)}, 800, c_dwDialogMs)), "");
    EXPECT_EQ(Describe(PlanDialogs(tracked, {Dialog(EDITOR), Dialog(SHEET)}, 900, c_dwDialogMs)), "close(32) ");
    EXPECT_EQ(NewestDialog(std::vector<TrackedDialog>()), nullptr);
}

// A press names a control by the text it shows: "&" marks are left out, "&&" is one "&".
TEST(DialogPlan, PressesFindControlsByTheirShownText) {
    struct TextCase {
        const wchar_t* control;
        const wchar_t* press;
        bool bSame;
    } const cases[] = {
        {L"&Add", L"Add", true},
        {L"&Add", L"&Add", true},
        {L"Icons && Images", L"Icons & Images", true},
        {L"Icons && Images", L"Icons Images", false},
        {L"Back &Up", L"Back Up", true},
        {L"Trailing&", L"Trailing", true},
        {L"Add", L"Ad", false},
    };
    for (const TextCase& c : cases) EXPECT_EQ(SameText(c.control, c.press), c.bSame) << c.control << " / " << c.press;
}

}  // namespace
