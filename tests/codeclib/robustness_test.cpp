// Damaged files through every reader and the information call: a failure status or a sound
// picture, never a crash, a hang or a block that lies about its size.

#include "codec_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace pelisto;
using namespace pelisto::codectest;

namespace {

// Aborts the run with the file's name when one call takes far too long.
class Watchdog {
public:
    Watchdog() : thread_([this] { Watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void Start(std::string what) {
        std::lock_guard lock(mutex_);
        what_ = std::move(what);
        deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        ++generation_;
    }

private:
    void Watch() {
        std::unique_lock lock(mutex_);
        while (!done_) {
            wake_.wait_for(lock, std::chrono::milliseconds(200));
            if (!done_ && generation_ > 0 && std::chrono::steady_clock::now() > deadline_) {
                std::fprintf(stderr, "hang: %s\n", what_.c_str());
                std::abort();
            }
        }
    }
    std::mutex mutex_;
    std::condition_variable wake_;
    std::string what_;
    std::chrono::steady_clock::time_point deadline_{};
    long generation_ = 0;
    bool done_ = false;
    std::thread thread_;
};

struct Entry {
    const char* name;
    const char* extensions; // the readers' own formats
};

const Entry kReaders[] = {
    {"rdbmpfiledib", ".bmp"},   {"rdpngfiledib", ".png"},   {"rdpcxfiledib", ".pcx"},
    {"rdgiffiledib", ".gif"},   {"rdjpgfiledib", ".jpg"},   {"readtiffiledib", ".tif"},
    {"readtgafiledib", ".tga"}, {"readpcdfiledib", ".pcd"}, {"rdheiffiledib", ".heic"},
    {"rdheiffiledib", ".avif"}, {"rdwebpfiledib", ".webp"}, {"rdjxlfiledib", ".jxl"},
};

std::int16_t CallReader(const char* entry, const char* file, PLDib* dib) {
    const std::string name = entry;
    if (name == "rdjpgfiledib") {
        auto fn = MainEntry<rdjpgfiledib_t>(entry);
        return fn ? fn(file, 24, 1, 0, dib, nullptr, nullptr, nullptr, 0) : -999;
    }
    if (name == "readtiffiledib" || name == "readpcdfiledib") {
        auto fn = MainEntry<readpagedib_t>(entry);
        return fn ? fn(file, 24, 0, name == "readpcdfiledib" ? 2 : 1, dib, nullptr, nullptr, 0)
                  : -999;
    }
    if (name == "readtgafiledib") {
        auto fn = MainEntry<readtgafiledib_t>(entry);
        return fn ? fn(file, 24, 0, dib, nullptr, nullptr, 0) : -999;
    }
    auto fn = MainEntry<rdfiledib_t>(entry);
    return fn ? fn(file, 24, 0, dib, nullptr, nullptr, nullptr, 0) : -999;
}

// Damage every decoder must notice: missing data, a wrecked header, no picture at all, or a
// picture of another format.
bool MustFail(const QString& file, const Entry& reader) {
    const QString base = QFileInfo(file).completeBaseName();
    // The first of the three pages lies whole in the kept part (checked below).
    if (base == "pages3_tif_cut90") {
        return false;
    }
    if (base.contains("_cut") || base.contains("_header") || base.startsWith("empty") ||
        base.startsWith("short") || base == "text") {
        return true;
    }
    // Files named for a format they are not, read by the reader their name points to.
    return base.endsWith("_named") &&
           QFileInfo(file).suffix().compare(QString::fromLatin1(reader.extensions + 1)) == 0;
}

TEST(Robustness, DamagedFilesFailCleanlyThroughEveryReader) {
    Watchdog watchdog;
    const QStringList files = QDir(Fixture("damaged")).entryList(QDir::Files, QDir::Name);
    ASSERT_GT(files.size(), 40);
    int failures = 0;
    for (const QString& name : files) {
        const QString path = Fixture(QStringLiteral("damaged/") + name);
        const QByteArray native = path.toLocal8Bit();
        for (const Entry& reader : kReaders) {
            // Each reader on its own format, plus every other reader on the PNG and JPEG copies
            // (the others take long and add little).
            const bool own = path.endsWith(QString::fromLatin1(reader.extensions));
            if (!own && !name.contains("rgb24_png") && !name.contains("baseline_jpg") &&
                !name.contains("_named")) {
                continue;
            }
            watchdog.Start(std::string(reader.name) + " " + name.toStdString());
            PLDib raw = reinterpret_cast<PLDib>(0x1); // a stale value must be overwritten
            const std::int16_t status = CallReader(reader.name, native.constData(), &raw);
            Dib dib(status > 0 ? raw : nullptr);
            if (status <= 0) {
                ++failures;
                EXPECT_EQ(raw, nullptr) << reader.name << " " << name.toStdString()
                                        << ": a failed read must not hand out a block";
                EXPECT_FALSE(StatusText(status).empty());
                continue;
            }
            EXPECT_FALSE(MustFail(path, reader) && own)
                << reader.name << " read " << name.toStdString() << " as a picture";
            EXPECT_EQ(LayoutProblem(dib.get()), "") << reader.name << " " << name.toStdString();
            EXPECT_FALSE(DibImage(dib.get()).isNull()) << reader.name << " " << name.toStdString();
            if (name == "pages3_tif_cut90.tif") {
                EXPECT_EQ(MaxDifference(DibImage(dib.get()), QImage(Fixture("rgb24.png"))), 0);
            }
        }
    }
    EXPECT_GT(failures, 40);
}

// Information calls and turns of every damaged file: a turn fails with a cause, or writes a
// picture of the same kind.
TEST(Robustness, InformationCallsAndTurnsSurviveEveryDamagedFile) {
    Watchdog watchdog;
    auto fileinfo = MainEntry<fileinfo_t>("fileinfo");
    auto getinfo = MainEntry<getinfo_t>("getinfo");
    auto turn = MainEntry<plturnfile_t>("plturnfile");
    ASSERT_TRUE(fileinfo && getinfo && turn);
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QByteArray target = QFile::encodeName(scratch.filePath(QStringLiteral("turned")));
    for (const QString& name : QDir(Fixture("damaged")).entryList(QDir::Files)) {
        const QByteArray native = Fixture(QStringLiteral("damaged/") + name).toLocal8Bit();
        watchdog.Start("fileinfo " + name.toStdString());
        char format[6] = {};
        char compression[26] = {};
        std::int16_t w = 0, h = 0, bits = 0, colours = 0, pages = 0;
        const std::int16_t status =
            fileinfo(native.constData(), format, &w, &h, &bits, &colours, &pages, compression, 0);
        if (status > 0) {
            EXPECT_GT(w, 0) << name.toStdString();
            EXPECT_GT(h, 0) << name.toStdString();
            EXPECT_GT(bits, 0) << name.toStdString();
            EXPECT_NE(std::memchr(format, 0, sizeof(format)), nullptr);
        }
        std::int16_t compression16 = 0, count = 0;
        watchdog.Start("getinfo " + name.toStdString());
        getinfo(native.constData(), 1, &w, &h, &compression16, 0, &count, &bits);
        watchdog.Start("plturnfile " + name.toStdString());
        QFile::remove(QString::fromLocal8Bit(target));
        const std::int16_t turned = turn(native.constData(), target.constData(), 1);
        if (turned > 0) {
            QFile out(QString::fromLocal8Bit(target));
            QFile in(Fixture(QStringLiteral("damaged/") + name));
            ASSERT_TRUE(out.open(QIODevice::ReadOnly) && in.open(QIODevice::ReadOnly));
            EXPECT_EQ(out.read(2), in.read(2)) << name.toStdString();
        } else {
            EXPECT_FALSE(StatusText(turned).empty()) << name.toStdString();
        }
    }
}

// Seeded byte changes in the first part of every intact fixture, where the headers and tables
// lie: each reader fails or gives a sound picture, and each turn fails or writes a file.
TEST(Robustness, MutatedHeadersFailOrGiveSoundPictures) {
    Watchdog watchdog;
    QTemporaryDir dir;
    const std::pair<const char*, const char*> samples[] = {
        {"rgb24.bmp", "rdbmpfiledib"},       {"pal4.bmp", "rdbmpfiledib"},
        {"rle8.bmp", "rdbmpfiledib"},        {"pal8.png", "rdpngfiledib"},
        {"pal8.pcx", "rdpcxfiledib"},        {"rgb24.pcx", "rdpcxfiledib"},
        {"still.gif", "rdgiffiledib"},       {"baseline.jpg", "rdjpgfiledib"},
        {"progressive.jpg", "rdjpgfiledib"}, {"pages3.tif", "readtiffiledib"},
        {"pal8.tga", "readtgafiledib"},      {"rle24.tga", "readtgafiledib"},
        {"camera.jpg", "rdjpgfiledib"},      {"orient6_le.jpg", "rdjpgfiledib"},
        {"cmyk_adobe.jpg", "rdjpgfiledib"},  {"orient6.tif", "readtiffiledib"},
        {"rgb565.bmp", "rdbmpfiledib"},      {"v5_24.bmp", "rdbmpfiledib"},
        {"frames.gif", "rdgiffiledib"},      {"deep16.png", "rdpngfiledib"},
    };
    auto turn = MainEntry<plturnfile_t>("plturnfile");
    ASSERT_NE(turn, nullptr);
    int read = 0;
    int refused = 0;
    std::uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (const auto& [file, entry] : samples) {
        QFile original(Fixture(QString::fromLatin1(file)));
        ASSERT_TRUE(original.open(QIODevice::ReadOnly));
        const QByteArray bytes = original.readAll();
        for (int copy = 0; copy < 25; ++copy) {
            QByteArray mutated = bytes;
            const int span = std::min<int>(static_cast<int>(mutated.size()), 800);
            for (int change = 0; change < 1 + copy % 4; ++change) {
                const int at = static_cast<int>(next() % static_cast<std::uint32_t>(span));
                const std::uint32_t kind = next() % 3;
                mutated[at] = static_cast<char>(kind == 0   ? 0xFF
                                                : kind == 1 ? 0x00
                                                            : static_cast<int>(next() & 0xFF));
            }
            const QString path = dir.filePath(QStringLiteral("m%1_%2").arg(copy).arg(file));
            QFile out(path);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(mutated);
            out.close();
            watchdog.Start(std::string(entry) + " mutated " + path.toStdString());
            PLDib raw = nullptr;
            const std::int16_t status = CallReader(entry, path.toLocal8Bit().constData(), &raw);
            Dib dib(status > 0 ? raw : nullptr);
            if (status > 0) {
                ++read;
                EXPECT_EQ(LayoutProblem(dib.get()), "") << entry << " " << path.toStdString();
            } else {
                ++refused;
                EXPECT_EQ(raw, nullptr) << entry << " " << path.toStdString();
            }
            watchdog.Start("plturnfile mutated " + path.toStdString());
            const QString turned = path + QStringLiteral(".turned");
            const std::int16_t turnStatus =
                turn(path.toLocal8Bit().constData(), turned.toLocal8Bit().constData(), 3);
            EXPECT_EQ(turnStatus > 0, QFileInfo(turned).size() > 0) << path.toStdString();
        }
    }
    // Both outcomes occur: the copies are really read, and damage is noticed.
    EXPECT_GT(read, 20);
    EXPECT_GT(refused, 20);
}

// Hand-made headers that promise more than the file holds.
TEST(Robustness, LyingHeadersAreRefused) {
    Watchdog watchdog;
    QTemporaryDir dir;
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return dir.filePath(name).toStdString();
    };
    // BMP: 30000 x 30000 at 24 bits announced, 100 bytes of pixels present.
    QByteArray bmp(154, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    const auto put32 = [](QByteArray& b, int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            b[at + i] = static_cast<char>(v >> (8 * i));
        }
    };
    put32(bmp, 2, 154);
    put32(bmp, 10, 54);
    put32(bmp, 14, 40);
    put32(bmp, 18, 30000);
    put32(bmp, 22, 30000);
    bmp[26] = 1;
    bmp[28] = 24;
    // TGA: 65535 x 65535 announced.
    QByteArray tga(118, '\0');
    tga[2] = 2;
    tga[12] = tga[13] = tga[14] = tga[15] = static_cast<char>(0xFF);
    tga[16] = 24;
    // PCX: a window far larger than its data.
    QByteArray pcx(200, '\0');
    pcx[0] = 0x0A;
    pcx[1] = 5;
    pcx[2] = 1;
    pcx[3] = 8;
    pcx[8] = pcx[9] = pcx[10] = pcx[11] = static_cast<char>(0x7F);
    pcx[65] = 3;
    pcx[66] = static_cast<char>(0x80);
    pcx[67] = 0x7F;
    const std::pair<const char*, std::string> cases[] = {
        {"rdbmpfiledib", write("huge.bmp", bmp)},
        {"readtgafiledib", write("huge.tga", tga)},
        {"rdpcxfiledib", write("huge.pcx", pcx)},
    };
    for (const auto& [entry, file] : cases) {
        watchdog.Start(std::string(entry) + " " + file);
        PLDib raw = nullptr;
        const std::int16_t status = CallReader(entry, file.c_str(), &raw);
        Dib dib(status > 0 ? raw : nullptr);
        EXPECT_LE(status, 0) << entry << " accepted a picture its file cannot hold";
    }
}

// An uncompressed 24-bit TIFF of the given size, its directory first and then its strips of
// eight rows; only the first `keep` strips are in the file, the others lie past its end.
QByteArray StripedTiff(int width, int height, int keep) {
    const int rowsPerStrip = 8;
    const int strips = (height + rowsPerStrip - 1) / rowsPerStrip;
    const int stripBytes = width * 3 * rowsPerStrip;
    QByteArray b;
    const auto put16 = [&b](std::uint32_t v) {
        b += static_cast<char>(v & 0xFF);
        b += static_cast<char>(v >> 8 & 0xFF);
    };
    const auto put32 = [&](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const int entries = 10;
    const std::uint32_t extra = 8 + 2 + 12 * entries + 4;
    const std::uint32_t offsets = extra + 6;
    const std::uint32_t counts = offsets + 4 * strips;
    const std::uint32_t data = counts + 4 * strips;
    b += "II*";
    b += '\0';
    put32(8);
    put16(entries);
    const auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                           std::uint32_t value) {
        put16(tag);
        put16(type);
        put32(count);
        put32(value);
    };
    entry(256, 4, 1, static_cast<std::uint32_t>(width));
    entry(257, 4, 1, static_cast<std::uint32_t>(height));
    entry(258, 3, 3, extra);
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 2);
    entry(273, 4, static_cast<std::uint32_t>(strips), offsets);
    entry(277, 3, 1, 3);
    entry(278, 4, 1, rowsPerStrip);
    entry(279, 4, static_cast<std::uint32_t>(strips), counts);
    entry(284, 3, 1, 1);
    put32(0);
    put16(8);
    put16(8);
    put16(8);
    for (int i = 0; i < strips; ++i) {
        put32(data + static_cast<std::uint32_t>(i * stripBytes));
    }
    for (int i = 0; i < strips; ++i) {
        put32(static_cast<std::uint32_t>(stripBytes));
    }
    for (int i = 0; i < std::min(keep, strips) * stripBytes; ++i) {
        b += static_cast<char>(i * 7 % 251);
    }
    return b;
}

// A reader hands over the ICC profile of the picture it read, whole (the Adobe RGB one spans two
// JPEG chunks) and once; a picture without one, or a read that fails, leaves none of an earlier
// picture behind to be applied to it.
TEST(Robustness, ProfilesNeverFollowAnotherPicture) {
    auto profile = MainEntry<pliccprofile_t>("pliccprofile");
    ASSERT_TRUE(profile);
    const auto read = [](const char* entry, const char* name) {
        PLDib raw = nullptr;
        const std::int16_t status = CallReader(entry, FixturePath(name).c_str(), &raw);
        Dib dib(status > 0 ? raw : nullptr);
        return status;
    };
    struct Row {
        const char* entry;
        const char* tagged;
        const char* next; // without a profile, or failing
    };
    for (const Row& row :
         {Row{"rdjpgfiledib", "adobe_rgb.jpg", "patches.jpg"},
          Row{"rdpngfiledib", "gray_g18.png", "rgb24.png"},
          Row{"readtiffiledib", "adobe_rgb.tif", "lzw.tif"},
          Row{"rdjpgfiledib", "display_p3.jpg", "damaged/baseline_jpg_cut50.jpg"}}) {
        ASSERT_GT(read(row.entry, row.tagged), 0) << row.tagged;
        const int length = profile(nullptr, 0);
        ASSERT_GT(length, 128) << row.tagged;
        std::vector<unsigned char> bytes(static_cast<std::size_t>(length));
        EXPECT_EQ(profile(bytes.data(), length), length) << row.tagged;
        // The profile's own header: its whole size, and the signature every ICC profile has.
        const auto size =
            static_cast<int>((bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3]);
        EXPECT_EQ(size, length) << row.tagged;
        EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "acsp") << row.tagged;
        EXPECT_EQ(profile(nullptr, 0), 0) << row.tagged << " handed over twice";
        read(row.entry, row.tagged); // and not taken this time
        read(row.entry, row.next);
        EXPECT_EQ(profile(nullptr, 0), 0) << row.tagged << " followed " << row.next;
    }
}

// libtiff reports a damaged strip through an error handler. Each file has its own, so a TIFF
// whose later strips are missing is refused every time, while other threads read and identify
// TIFFs at the same moment (a handler swapped per call on one thread silenced another's).
TEST(Robustness, DamagedTiffStripsAreNoticedWhileOtherThreadsReadTiffs) {
    Watchdog watchdog;
    watchdog.Start("damaged TIFF strips on several threads");
    QTemporaryDir dir;
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return dir.filePath(name).toStdString();
    };
    const std::string damaged = write("strips.tif", StripedTiff(400, 304, 20));
    const std::string whole = write("whole.tif", StripedTiff(400, 304, 1000));
    const std::string pages = FixturePath("pages3.tif");
    auto fileinfo = MainEntry<fileinfo_t>("fileinfo");
    auto detail = MainEntry<plerrordetail_t>("plerrordetail");
    ASSERT_TRUE(fileinfo && detail);

    std::atomic<bool> done{false};
    std::atomic<int> identified{0};
    std::vector<std::thread> others;
    for (int t = 0; t < 2; ++t) {
        others.emplace_back([&] {
            while (!done) {
                char format[6] = {};
                char compression[26] = {};
                std::int16_t w = 0, h = 0, bits = 0, colours = 0, count = 0;
                identified += fileinfo(pages.c_str(), format, &w, &h, &bits, &colours, &count,
                                       compression, 0) > 0;
                PLDib raw = nullptr;
                Dib dib(CallReader("readtiffiledib", whole.c_str(), &raw) > 0 ? raw : nullptr);
                EXPECT_NE(dib, nullptr);
            }
        });
    }
    std::atomic<int> refused{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 2; ++t) {
        readers.emplace_back([&] {
            for (int i = 0; i < 25; ++i) {
                PLDib raw = nullptr;
                const std::int16_t status = CallReader("readtiffiledib", damaged.c_str(), &raw);
                Dib dib(status > 0 ? raw : nullptr);
                char cause[512] = {};
                detail(cause, sizeof(cause));
                if (status <= 0 && std::strlen(cause) > 0) {
                    ++refused;
                }
            }
        });
    }
    for (std::thread& t : readers) {
        t.join();
    }
    done = true;
    for (std::thread& t : others) {
        t.join();
    }
    EXPECT_EQ(refused.load(), 50) << "a damaged TIFF passed, or failed without its cause";
    EXPECT_GT(identified.load(), 0);
}

} // namespace
