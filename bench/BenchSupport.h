#pragma once

#include "app/Program.h"
#include "platform/Dialogs.h"
#include "tests/common/Parts.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace tovari::bench {

using test::PartOf;

// A field of /proc/self/status in KiB, or -1.
inline long StatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    return -1;
}

// Sets the peak resident size back to the current one; false where the kernel does not allow it.
inline bool ResetPeak()
{
    std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f)
        return false;
    const bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Start-up messages have nobody to read them in a benchmark.
class SilentDialogs : public Dialogs {
public:
    void ShowMessage(const QString&) override {}
    Result MessageBox(QWidget*, const QString&, const QString&, Buttons, Icon) override { return Result::Cancel; }
    QString InputBox(const QString&, const QString&, const QString& text) override { return text; }
    std::optional<QString> BrowseForFolder(QWidget*, const QString&, const QString&) override { return std::nullopt; }
};

// Offscreen unless a platform is named, and a data folder of its own; made before the application.
class BenchEnvironment {
public:
    BenchEnvironment()
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_DATA_HOME", data_.path().toLocal8Bit());
    }

private:
    QTemporaryDir data_;
};

// The whole program with its main window shown at 1000 x 700, and no service to talk to.
class BenchProgram {
public:
    BenchProgram(int& argc, char** argv) : app_(argc, argv), program_(dialogs_, QStringLiteral("http://127.0.0.1:9"))
    {
        program_.Form3.hide();
        program_.Form1.resize(1000, 700);
        program_.Form1.show();
        QApplication::processEvents();
    }
    TForm1& Form() { return program_.Form1; }

private:
    BenchEnvironment environment_;
    QApplication app_;
    SilentDialogs dialogs_;
    TProgram program_;
};

}  // namespace tovari::bench
