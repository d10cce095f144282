#pragma once
// Everything the core needs from a person at the screen goes through this
// one interface: the GUI shows real dialogs, the command line prints to
// stderr and answers questions from its options, and tests record calls.
// Nothing in the core may block on anything but these calls.

#include <optional>
#include <string>

namespace gorvale {

enum class Buttons { Ok, OkCancel, YesNo, YesCancel, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };
enum class MessageKind { Information, Warning, Error, Confirmation };

// Read-outs the main window shows; the core writes their texts.
enum class Label {
    DemName,         // name of the opened elevation model
    Rows,            // "Rowns(N/S):"
    Columns,         // "Columns (E/W):"
    ElevationRange,  // "Elevation Range:"
    BoxElev,         // selection range
    BoxMin,
    BoxMax,
    NS_Size,
    NS_Size2,
    WE_Size,
    WE_Size2,
    VerticalScale,   // the vertical-scale field when dynamic scaling rewrites it
    WE_Center,       // world origin column of an elevation dump
    NS_Center,       // world origin row of an elevation dump
};
inline constexpr int kLabelCount = static_cast<int>(Label::NS_Center) + 1;

// Commands whose enabled state the core changes.
enum class Command {
    Generate,
    ShowSelectedArea,
    ShowFullPicture,
    ShowZones,
    PresetTerrain,
    ExpandDEM,
    SetExcludedRectangle,
};

// Which question a dialog asks, so answers never depend on caption texts.
enum class Question { Other, EtopoSize, DtedGridSize, DtedMerge };

// One number (or text) field of a modal dialog such as "ETOPO Size".
struct AskRequest {
    std::string caption;  // dialog caption, e.g. "ETOPO Size"
    std::string prompt;   // e.g. "Please provide the horizontal size of the grid:"
    std::string initial;  // initial text of the field
    Question id = Question::Other;
};

// Where a run stands: tiles done of the selection's total, and the model
// being written (empty when none).
struct RunProgress {
    int done = 0;
    int total = 0;
    std::string currentPath;
};

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // Message box with exact text and caption; returns the button pressed.
    virtual Answer message(const std::string& text, const std::string& caption, MessageKind kind,
                           Buttons buttons) = 0;
    // The modal "Error" dialog: its fixed line
    // "Error occured when creating/reading/uploading file::" followed by detail.
    virtual void fileError(const std::string& detail) = 0;
    // Asks for one field; nullopt when the person (or the command line) has no answer.
    virtual std::optional<std::string> ask(const AskRequest& request) = 0;

    virtual void setLabel(Label which, const std::string& text) = 0;
    virtual void setStatus(int panel, const std::string& text) = 0;
    virtual void setWindowTitle(const std::string& text) = 0;
    virtual void setProgress(int position) = 0;  // 0 .. kProgressMax
    virtual void setCommandEnabled(Command which, bool enabled) = 0;
    virtual void setBusy(bool busy) = 0;  // hourglass cursor
    // A new grid was loaded: redraw the full picture.
    virtual void gridChanged() = 0;
    // Handle pending window events (the only point where a stop can arrive).
    virtual void processEvents() = 0;
    virtual bool stopRequested() const = 0;
    // Typed progress of a Generate run, once per tile.
    virtual void runProgress(const RunProgress& progress) { (void)progress; }
    // The grid's read-outs (held by the core's GridFacts) changed.
    virtual void gridFactsChanged() {}
    // A line for the log page (shown after a Generate run).
    virtual void appendLogPage(const std::string& line) { (void)line; }

    static constexpr int kProgressMax = 1000;
};

// The hourglass cursor while a command runs, whatever way it returns.
class BusyCursor {
public:
    explicit BusyCursor(UserInterface& ui) : ui_(ui) { ui_.setBusy(true); }
    ~BusyCursor() { ui_.setBusy(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    UserInterface& ui_;
};

// Status outputs: the status bar's panels 0 and 1, and the status box of
// the "FTP parameters" group, which gets each FTP status text as a new line.
inline constexpr int kStatusPanelFtp = 2;

inline constexpr const char* kFileErrorLine = "Error occured when creating/reading/uploading file::";

// An interface that answers nothing and shows nothing: for batch code paths.
class SilentUserInterface : public UserInterface {
public:
    Answer message(const std::string&, const std::string&, MessageKind, Buttons b) override {
        return b == Buttons::Ok || b == Buttons::OkCancel ? Answer::Ok : Answer::No;
    }
    void fileError(const std::string&) override {}
    std::optional<std::string> ask(const AskRequest&) override { return std::nullopt; }
    void setLabel(Label, const std::string&) override {}
    void setStatus(int, const std::string&) override {}
    void setWindowTitle(const std::string&) override {}
    void setProgress(int) override {}
    void setCommandEnabled(Command, bool) override {}
    void setBusy(bool) override {}
    void gridChanged() override {}
    void processEvents() override {}
    bool stopRequested() const override { return false; }
};

}  // namespace gorvale
