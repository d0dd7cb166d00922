#include "tests/TestSupport.h"

#include <QApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

#include "base/VX_LogRedirect.h"

namespace {

// Runs before main(): the defaults every test program starts from.
struct TestEnvironment {
    TestEnvironment()
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("VEXIL_BIN_DIR", VEXIL_TEST_BIN_DIR, 0);
        setenv("VEXIL_SOURCE_DIR", VEXIL_TEST_SOURCE_DIR, 0);
    }
} testEnvironment;

}  // namespace

void ensureApp()
{
    if (QCoreApplication::instance())
        return;
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char arg0[] = "vexil-test";
    static char *argv[] = {arg0, nullptr};
    new QApplication(argc, argv);  // lives until the test program ends
}

ProgramRun runProgram(const char *program, const QStringList &args, const QProcessEnvironment *env)
{
    ensureApp();
    ProgramRun run;
    const char *binDir = std::getenv("VEXIL_BIN_DIR");
    if (!binDir) {
        ADD_FAILURE() << "VEXIL_BIN_DIR is not set";
        return run;
    }
    QProcess process;
    if (env)
        process.setProcessEnvironment(*env);
    process.start(QString::fromLocal8Bit(binDir) + "/" + program, args);
    if (!process.waitForFinished(30000)) {
        ADD_FAILURE() << program << " did not finish";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

TempDir::TempDir()
{
    char tmpl[] = "/tmp/vexil-test-XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string &name) const { return path_ + "/" + name; }

void TempDir::write(const std::string &name, const std::string &content) const
{
    std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void TempDir::writeGif(const std::string &name, int width, int height, unsigned rgb) const
{
    ensureApp();  // callers go on to load the picture
    GifPicture gif;
    gif.width = width;
    gif.height = height;
    gif.colours = {rgb, 0x000000};
    gif.data = GifPicture::solid(long(width) * height);
    write(name, gif.bytes());
}

std::string TempDir::mkdir(const std::string &name) const
{
    std::string p = file(name);
    std::filesystem::create_directories(p);
    return p;
}

Watchdog::Watchdog(unsigned seconds) { alarm(seconds); }

Watchdog::~Watchdog() { alarm(0); }

LogCapture::LogCapture() : file_(tmpfile()), redirect_(file_)
{
    if (!file_)
        throw std::runtime_error("tmpfile failed");
}

LogCapture::~LogCapture()
{
    redirect_.reset();  // the sink lets go of the file before it closes
    fclose(file_);
}

std::string LogCapture::text() const
{
    fflush(file_);
    long end = ftell(file_);
    std::string s(static_cast<size_t>(end), '\0');
    rewind(file_);
    size_t n = fread(s.data(), 1, s.size(), file_);
    s.resize(n);
    fseek(file_, 0, SEEK_END);
    return s;
}

std::vector<std::string> LogCapture::lines() const
{
    std::vector<std::string> out;
    std::string s = text();
    size_t start = 0;
    while (start < s.size()) {
        size_t nl = s.find('\n', start);
        if (nl == std::string::npos) {
            out.push_back(s.substr(start));
            break;
        }
        out.push_back(s.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

void LogCapture::clear()
{
    fflush(file_);
    if (ftruncate(fileno(file_), 0) != 0)
        throw std::runtime_error("can't empty the log capture");
    rewind(file_);
}

GifCodes::GifCodes(int minCodeSize) : min_(minCodeSize) { reset(); }

void GifCodes::reset()
{
    width_ = min_ + 1;
    next_ = (1 << min_) + 2;
    first_ = true;
}

void GifCodes::clear()
{
    put(1 << min_);
    reset();
}

void GifCodes::end() { put((1 << min_) + 1); }

void GifCodes::literal(int index)
{
    put(index);
    if (!first_ && next_ < 4096) {
        ++next_;
        if (next_ == (1 << width_) && width_ < 12)
            ++width_;
    }
    first_ = false;
}

void GifCodes::put(int code)
{
    bits_ |= uint64_t(code) << count_;
    count_ += width_;
    while (count_ >= 8) {
        bytes_ += char(bits_ & 0xff);
        bits_ >>= 8;
        count_ -= 8;
    }
}

std::string GifCodes::blocks() const
{
    std::string data = bytes_;
    if (count_ > 0)
        data += char(bits_ & 0xff);
    std::string out(1, char(min_));
    for (size_t i = 0; i < data.size(); i += 255) {
        const std::string part = data.substr(i, 255);
        out += char(part.size());
        out += part;
    }
    return out + '\0';
}

namespace {

std::string le16(int v) { return std::string{char(v & 0xff), char((v >> 8) & 0xff)}; }

// Flags bits 0-2 of a table of `count` entries, and the table itself.
int tableBits(size_t count)
{
    int bits = 0;
    while ((2u << bits) < count)
        ++bits;
    return bits;
}

std::string tableBytes(const std::vector<unsigned> &colours)
{
    std::string out;
    for (unsigned rgb : colours)
        out += std::string{char((rgb >> 16) & 0xff), char((rgb >> 8) & 0xff), char(rgb & 0xff)};
    return out;
}

}  // namespace

std::string GifPicture::bytes() const
{
    std::string gif = "GIF89a" + le16(width) + le16(height);
    gif += char(colours.empty() ? 0 : 0x80 | tableBits(colours.size()));
    gif += char(background);
    gif += char(0);
    gif += tableBytes(colours);
    if (transparent >= 0)
        gif += std::string{0x21, char(0xf9), 4, 1, 0, 0, char(transparent), 0};
    gif += "," + le16(left) + le16(top) + le16(frameWidth < 0 ? width : frameWidth) +
           le16(frameHeight < 0 ? height : frameHeight);
    int flags = interlaced ? 0x40 : 0;
    if (!localColours.empty())
        flags |= 0x80 | tableBits(localColours.size());
    gif += char(flags);
    gif += tableBytes(localColours);
    return gif + data + ";";
}

std::string GifPicture::solid(long count)
{
    // Clear after every second literal, so that the codes stay 3 bits wide.
    GifCodes codes(2);
    codes.clear();
    for (long i = 0; i < count; ++i) {
        codes.literal(0);
        if (i % 2 == 1)
            codes.clear();
    }
    codes.end();
    return codes.blocks();
}
