// vantor-screenshots DIR [FILE]: the documentation's pictures of the desktop program's windows, taken
// into DIR with FILE uploaded into the simulated PLC. A tool of the build, not shipped: the program
// users get has no way to drive its own windows.
#include "app/FileChooser.h"
#include "app/UploaderPanel.h"
#include "app/screenshots/Screenshots.h"

#include <QApplication>
#include <cstdio>

namespace {

// Select answers with FILE instead of showing the dialog.
class GivenFile : public vantor::app::DialogFileChooser
{
public:
    explicit GivenFile(QString path) : path_(std::move(path)) {}
    QString chooseFile(QWidget*, const QString&, const QString&) override { return path_; }

private:
    QString path_;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The windows as the program shows them: its name in the titles, its icon.
    QApplication::setApplicationName("vantor-uploader");
    QApplication::setApplicationVersion(VANTOR_VERSION);
    QApplication::setWindowIcon(QIcon::fromTheme("vantor-uploader"));
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 2 || arguments.size() > 3) {
        std::fprintf(stderr, "usage: vantor-screenshots DIR [FILE]\n");
        return 2;
    }
    const QString file = arguments.value(2);
    std::unique_ptr<vantor::app::FileChooser> chooser;
    if (!file.isEmpty())
        chooser = std::make_unique<GivenFile>(file);
    vantor::app::UploaderPanel panel(std::move(chooser), "SIM");
    panel.show();
    return vantor::app::Screenshots::take(panel, arguments.at(1), file);
}
