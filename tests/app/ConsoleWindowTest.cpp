// Serial Setup and the confirmation driven from the keyboard, headless, against the simulated PLC.
#include "app/Bell.h"
#include "app/confirmOverwrite.h"
#include "app/serialComm.h"
#include "plcsim/SimulatedPlcPort.h"
#include "serial/SerialPort.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace vantor;

namespace {

class ConsoleWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app::Bell::setHandler([this] { ++beeps; });
        sim = std::make_shared<plcsim::SimulatedPlcPort>();
        console.core().catalog().add(plcsim::SimulatedPlcPort::name, plcsim::SimulatedPlcPort::description,
                                     [s = sim] { return s; });
        console.selectPort("SIM");
        child<QLineEdit>("timeOutBox")->setText("50");
        console.show();
        console.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&console));
    }
    void TearDown() override { app::Bell::setHandler({}); }

    template <typename T> T* child(const char* name)
    {
        T* found = console.findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    // Types text into list's text part over what it shows, as a technician does (the box's completion
    // included), leaving the focus there.
    void typeInto(QComboBox* list, const QString& text)
    {
        list->setFocus();
        list->lineEdit()->selectAll();
        QTest::keyClicks(list->lineEdit(), text);
    }
    QString log() { return console.responseText(); }
    std::vector<std::string> plcFrames()
    {
        const auto plc = sim->plc();
        return plc ? plc->frames() : std::vector<std::string>{};
    }

    app::serialComm console;
    std::shared_ptr<plcsim::SimulatedPlcPort> sim;
    int beeps = 0;
};

// What the settings lists take here: POSIX sets only the rates termios names, Windows any.
const bool anyRate = serial::SerialPort::canSetBaudRate(14400);

QString refusal(const char* list, const char* typed, const std::string& allowed)
{
    return QString("%1 \"%2\" not used: it takes %3.\r\n").arg(list, typed, QString::fromStdString(allowed));
}

} // namespace

// A value typed into a settings list is used, as its list's selected item, or refused at once; the
// box never shows one value while the port opens with another, however the opening comes.
TEST_F(ConsoleWindow, TypedSettingsAreUsedOrRefused)
{
    enum class Then { Enter, FocusLeaves, OpenAtOnce, PanelChangesPort, ExchangeOpens };
    const std::string rates = serial::SerialPort::settableBaudRates();
    const QString portsTaken = "a port's name: one of the list's, COMn, a device that exists, or a serial "
                               "server's address such as rfc2217://host:4001";
    struct Case
    {
        const char* list;
        const char* typed;
        Then then;
        const char* shown; // the box afterwards
        QString log;       // the refusal, if any, and the opening line
    };
    const QString open = "SIM: Open at %1\r\n";
    const Case cases[] = {
        {"baudChoice", "230400", Then::Enter, "230400", open.arg("230400,N,8,1")},
        {"baudChoice", " 19200 ", Then::FocusLeaves, "19200", open.arg("19200,N,8,1")},
        {"baudChoice", "9600", Then::OpenAtOnce, "9600", open.arg("9600,N,8,1")},
        {"baudChoice", "4800", Then::PanelChangesPort, "4800", open.arg("4800,N,8,1")},
        {"baudChoice", "57600", Then::ExchangeOpens, "57600", open.arg("57600,N,8,1")},
        {"baudChoice", "fast", Then::Enter, "38400",
         refusal("Baud Rate", "fast", rates) + open.arg("38400,N,8,1")},
        {"baudChoice", "0", Then::OpenAtOnce, "38400",
         refusal("Baud Rate", "0", rates) + open.arg("38400,N,8,1")},
        {"baudChoice", "14400", Then::Enter, anyRate ? "14400" : "38400",
         anyRate ? open.arg("14400,N,8,1") : refusal("Baud Rate", "14400", rates) + open.arg("38400,N,8,1")},
        {"dataBitChoice", "7", Then::ExchangeOpens, "7", open.arg("38400,N,7,1")},
        {"dataBitChoice", "/dev/pts/4", Then::OpenAtOnce, "8",
         refusal("Data Bits", "/dev/pts/4", "7 or 8") + open.arg("38400,N,8,1")},
        {"parityChoice", " e ", Then::Enter, "Even", open.arg("38400,E,8,1")},
        {"parityChoice", "ODD", Then::OpenAtOnce, "Odd", open.arg("38400,O,8,1")},
        {"parityChoice", "Mark", Then::Enter, "None",
         refusal("Parity", "Mark", "None, Even or Odd (or N, E, O)") + open.arg("38400,N,8,1")},
        {"stopBitChoice", "2", Then::OpenAtOnce, "2", open.arg("38400,N,8,2")},
        {"stopBitChoice", "1.5", Then::FocusLeaves, "1",
         refusal("Stop Bits", "1.5", "1 or 2") + open.arg("38400,N,8,1")},
        {"portChoice", "nowhere", Then::Enter, "SIM",
         refusal("Port Name", "nowhere", portsTaken.toStdString()) + open.arg("38400,N,8,1")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.list) + " typed \"" + c.typed + "\"");
        console.closePortAction();
        console.selectPort("SIM");
        for (const char* name : {"baudChoice", "dataBitChoice", "parityChoice", "stopBitChoice"})
            child<QComboBox>(name)->setCurrentIndex(name[0] == 'b' ? 5 : name[0] == 'd' ? 1 : 0);
        child<QPlainTextEdit>("responseBox")->clear();
        auto* list = child<QComboBox>(c.list);
        typeInto(list, c.typed);
        if (c.then == Then::Enter)
            QTest::keyClick(list->lineEdit(), Qt::Key_Return);
        else if (c.then == Then::FocusLeaves)
            child<QLineEdit>("commandString")->setFocus();
        else if (c.then == Then::PanelChangesPort)
            console.selectPort("SIM");
        if (c.then == Then::ExchangeOpens)
            console.sendCommand("@01C230*");
        else
            console.openPortAction();
        EXPECT_EQ(list->currentText(), c.shown);
        EXPECT_EQ(list->itemText(list->currentIndex()), c.shown) << "what is shown is the selected item";
        EXPECT_TRUE(log().startsWith(c.log)) << log().toStdString();
    }
}

// The commands typed one after another go out as typed: after Enter the box keeps the command selected,
// so Enter repeats it and typing replaces it.
TEST_F(ConsoleWindow, EnterLeavesTheCommandSelected)
{
    auto* box = child<QLineEdit>("commandString");
    box->setFocus();
    for (const char* command : {"@01C230*", "hello", "@01IR5A*", "@02C233*"}) {
        QTest::keyClicks(box, command);
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(box->text(), command);
        EXPECT_EQ(box->selectedText(), command);
    }
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(plcFrames(),
              (std::vector<std::string>{"@01C230*", "hello", "@01IR5A*", "@02C233*", "@02C233*"}));
}

// Tab goes through the controls row by row, left to right, and out of the log instead of into it.
TEST_F(ConsoleWindow, TabFollowsTheRowsAndLeavesTheLog)
{
    auto* log = child<QPlainTextEdit>("responseBox");
    log->setPlainText("typed by hand");
    child<QComboBox>("portChoice")->setFocus();
    QStringList visited;
    for (int i = 0; i < 13; ++i) {
        QWidget* focused = QApplication::focusWidget();
        if (focused && qobject_cast<QComboBox*>(focused->parentWidget()))
            focused = focused->parentWidget(); // a list's text part stands for its list
        visited << (focused ? focused->objectName() : QString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited, (QStringList{"portChoice", "baudChoice", "dataBitChoice", "stopBitChoice",
                                    "parityChoice", "timeOutBox", "openPort", "ExitButton", "commandString",
                                    "clearButton", "saveButton", "responseBox", "portChoice"}))
        << "Close Port is disabled while the port is closed";
    EXPECT_EQ(log->toPlainText(), "typed by hand") << "no tab inserted";
    EXPECT_FALSE(log->isReadOnly());
}

// A screen reader announces each setting and the command box with the words of its label, without the
// label's punctuation, and the kind of control it is. (The buttons say their own text.)
TEST_F(ConsoleWindow, ControlsAreAnnouncedByTheirLabels)
{
    struct Case
    {
        const char* control;
        const char* name;
        QAccessible::Role role;
        const char* label; // the label it is announced with
    };
    const Case cases[] = {
        {"portChoice", "Port Name", QAccessible::ComboBox, "lblPortName"},
        {"baudChoice", "Baud Rate", QAccessible::ComboBox, "lblBaudRate"},
        {"dataBitChoice", "Data Bits", QAccessible::ComboBox, "lblDataBits"},
        {"stopBitChoice", "Stop Bits", QAccessible::ComboBox, "lblStopBit"},
        {"parityChoice", "Parity", QAccessible::ComboBox, "lblParity"},
        {"timeOutBox", "Timeout (ms)", QAccessible::EditableText, "lblTimeOut"},
        {"commandString", "Command String", QAccessible::EditableText, "lblCommand"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(child<QWidget>(c.control));
        ASSERT_NE(spoken, nullptr);
        EXPECT_EQ(spoken->role(), c.role);
        // A combo box's name is its text where the screen reader reads the label relation instead.
        const QString name = c.role == QAccessible::ComboBox
                                 ? spoken->object()->property("accessibleName").toString()
                                 : spoken->text(QAccessible::Name);
        EXPECT_EQ(name, c.name);
        QStringList labels;
        for (const auto& [other, relation] : spoken->relations(QAccessible::Label))
            labels << other->object()->objectName();
        EXPECT_EQ(labels, QStringList{c.label});
    }
}

// The confirmation answers Enter only on the focused button, only for a press that began while it was
// shown: an Enter held down since UPLOAD NOW! was pressed must not overwrite the PLC's program unread.
TEST(Confirmation, AnswersOnlyAFreshEnterOnTheFocusedButton)
{
    enum Kind { Press, Repeat, Release };
    struct Key
    {
        int key;
        Kind kind;
    };
    const Key held = {Qt::Key_Return, Repeat}, let = {Qt::Key_Return, Release},
              press = {Qt::Key_Return, Press};
    struct Case
    {
        const char* what;
        bool onNo;             // the focus moved to No first
        std::vector<Key> keys; // to the focused button, after the dialog is shown
        const char* answer;    // what the dialog answered, once: "yes", "no" or "" for nothing
    };
    const Case cases[] = {
        {"an Enter held from before, then a fresh one", false, {held, held, held, let, press, let}, "yes"},
        {"a keypad Enter held from before, then a fresh one",
         false,
         {{Qt::Key_Enter, Repeat},
          {Qt::Key_Enter, Release},
          {Qt::Key_Enter, Press},
          {Qt::Key_Enter, Release}},
         "yes"},
        {"a fresh Enter on Yes", false, {press, let}, "yes"},
        {"a fresh Enter held down on Yes", false, {press, held, held, let}, "yes"},
        {"a fresh Enter on No", true, {press, let}, "no"},
        {"Escape, then a fresh Enter",
         false,
         {{Qt::Key_Escape, Press}, {Qt::Key_Escape, Release}, press, let},
         "yes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        app::confirmOverwrite dialog;
        std::string answer;
        QObject::connect(&dialog, &app::confirmOverwrite::confirmed, [&] { answer += "yes"; });
        QObject::connect(&dialog, &app::confirmOverwrite::declined, [&] { answer += "no"; });
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        ASSERT_EQ(focused->objectName(), "yesButton");
        if (c.onNo) {
            focused = dialog.findChild<QWidget*>("NoButton");
            focused->setFocus(Qt::TabFocusReason);
        }
        for (const Key& k : c.keys) {
            QKeyEvent key(k.kind == Release ? QEvent::KeyRelease : QEvent::KeyPress, k.key, Qt::NoModifier,
                          k.key == Qt::Key_Escape ? "\x1b" : "\r", k.kind == Repeat);
            QApplication::sendEvent(focused, &key);
        }
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(dialog.isVisible(), answer.empty());
    }
}
