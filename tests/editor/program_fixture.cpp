#include "tests/editor/program_fixture.h"

#include <QMainWindow>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <fstream>
#include <memory>

#include "platform/rbframework/gui/runtime.h"
#include "program/program.h"

namespace {
std::string prefsPath(const QTemporaryDir& dir) {
    return dir.filePath("vellora.txt").toStdString();
}
}  // namespace

int StartProgram(const std::function<void(Window1&)>& whileOpen) {
    static char arg0[] = "vellora";
    static char* argv[] = {arg0, nullptr};
    rb::RuntimeInit(1, argv);
    ProgramParts parts = VelloraParts();
    parts.makeDefaultView = [make = parts.makeDefaultView, &whileOpen] {
        make();
        QTimer::singleShot(0, [&whileOpen] {
            rb::Window* open = rb::_GetImplicitWindow(Window1::kClassName);
            if (!open) {
                ADD_FAILURE() << "the main window is not open";
                rb::Quit(0);
                return;
            }
            rb::Ref<Window1> w = rb::Ref<Window1>::retain(static_cast<Window1*>(open));
            // On a real display the window's place is known once it is mapped.
            EXPECT_TRUE(QTest::qWaitForWindowExposed(w->qwindow()));
            if (whileOpen) whileOpen(*w);
            w->Close();
        });
    };
    return _Main(parts);
}

void ProgramStarts::SetUp() {
    ASSERT_TRUE(config_.isValid());
    xdg_.emplace("XDG_CONFIG_HOME", config_.path().toStdString());
    UseVoices(vellora::speech::testing::RecordingEngine::DefaultVoices());
    vellora::speech::testing::InstallAudioSink(
        std::make_shared<vellora::speech::testing::ManualAudioClock>());
}

void ProgramStarts::TearDown() {
    xdg_.reset();
}

void ProgramStarts::UseVoices(std::vector<vellora::speech::VoiceEntry> voices) {
    vellora::speech::testing::InstallEngine(
        std::make_shared<vellora::speech::testing::RecordingEngine>(std::move(voices)));
}

void ProgramStarts::writePrefs(const std::vector<std::string>& lines) const {
    std::ofstream out(prefsPath(config_), std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << '\n';
    ASSERT_TRUE(out.good());
}

std::vector<std::string> ProgramStarts::readPrefs() const {
    std::ifstream in(prefsPath(config_), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

void ProgramStarts::start(const std::function<void(Window1&)>& whileOpen) {
    int64_t objects = rb::Object::liveCount();
    int64_t strings = rb::String::liveCount();
    EXPECT_EQ(StartProgram(whileOpen), 0);
    EXPECT_EQ(rb::Object::liveCount(), objects);
    EXPECT_EQ(rb::String::liveCount(), strings);
}
