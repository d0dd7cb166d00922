#include "tests/TestSupport.h"

#include <QApplication>
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
    // Qt reads GIF but does not write it: a minimal one, written by hand.
    std::string gif = "GIF89a";
    auto le16 = [&](int v) { gif += char(v & 0xff); gif += char((v >> 8) & 0xff); };
    le16(width);
    le16(height);
    gif += char(0x80);  // global colour table of 2 entries
    gif += char(0);
    gif += char(0);
    gif += char((rgb >> 16) & 0xff);
    gif += char((rgb >> 8) & 0xff);
    gif += char(rgb & 0xff);
    gif += std::string(3, '\0');
    gif += ',';
    le16(0);
    le16(0);
    le16(width);
    le16(height);
    gif += char(0);
    // LZW with minimum code size 2: clear, then only index 0, restarting
    // with a clear code often enough that code width stays at 3 bits.
    gif += char(2);
    std::string data;
    unsigned long bits = 0;
    int nbits = 0;
    auto put = [&](unsigned code) {
        bits |= static_cast<unsigned long>(code) << nbits;
        nbits += 3;
        while (nbits >= 8) {
            data += char(bits & 0xff);
            bits >>= 8;
            nbits -= 8;
        }
    };
    long pixels = static_cast<long>(width) * height;
    put(4);  // clear
    int run = 0;
    for (long i = 0; i < pixels; ++i) {
        put(0);
        if (++run == 2) {  // table would grow past 3-bit codes: clear
            put(4);
            run = 0;
        }
    }
    put(5);  // end of information
    if (nbits > 0)
        data += char(bits & 0xff);
    for (size_t i = 0; i < data.size(); i += 255) {
        size_t n = std::min<size_t>(255, data.size() - i);
        gif += char(n);
        gif += data.substr(i, n);
    }
    gif += char(0);
    gif += ';';
    write(name, gif);
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
