// make-test-disc: writes a BIN/CUE disc image from a description on the command line, for
// tests (deterministic audio that tells where every frame came from) and for the demo disc.
#include "DemoMusic.h"
#include "DiscSpec.h"
#include "TestDiscAudio.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>
#include <vector>

namespace {

int Bcd(int v) { return ((v / 10) << 4) | (v % 10); }

// A MODE1 sector as a drive returns it raw: sync, header with its address, 2048 bytes of
// user data. The error-detection and correction fields stay zero.
void DataSector(int track, uint32_t sectorInTrack, int lba, uint8_t* out)
{
    std::fill(out, out + testdisc::kSectorBytes, uint8_t(0));
    std::fill(out + 1, out + 11, uint8_t(0xFF));
    const int abs = lba + 150;
    out[12] = uint8_t(Bcd(abs / 4500));
    out[13] = uint8_t(Bcd((abs / 75) % 60));
    out[14] = uint8_t(Bcd(abs % 75));
    out[15] = 1;
    for (int i = 0; i < 2048; ++i)
        out[16 + i] = testdisc::DataByte(track, sectorInTrack, i);
}

bool WriteBin(const TDiscSpec& desc, const QString& path, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    std::vector<uint8_t> sector(testdisc::kSectorBytes, 0);
    for (int i = 0; i < desc.Pregap; ++i) {
        if (desc.HiddenAudio)
            testdisc::PatternSector(0, uint32_t(i), sector.data());
        file.write(reinterpret_cast<const char*>(sector.data()), qint64(sector.size()));
    }
    int lba = desc.Pregap;
    for (size_t t = 0; t < desc.Tracks.size(); ++t) {
        const TTrackSpec& track = desc.Tracks[t];
        const int number = int(t + 1);
        if (desc.Demo) {
            const std::vector<int16_t> samples = RenderDemoTrack(number);
            QByteArray bytes(qsizetype(samples.size() * 2), Qt::Uninitialized);
            for (size_t i = 0; i < samples.size(); ++i) {
                const auto u = uint16_t(samples[i]);
                bytes[qsizetype(2 * i)] = char(u & 0xFF);
                bytes[qsizetype(2 * i + 1)] = char(u >> 8);
            }
            file.write(bytes);
        } else {
            for (int s = 0; s < track.Sectors; ++s) {
                if (track.Audio)
                    testdisc::PatternSector(number, uint32_t(s), sector.data());
                else
                    DataSector(number, uint32_t(s), lba + s, sector.data());
                file.write(reinterpret_cast<const char*>(sector.data()), qint64(sector.size()));
            }
        }
        lba += track.Sectors;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool WriteCue(const QByteArray& text, const QString& path, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();

    TDiscSpec desc;
    QString error;
    bool help = false;
    if (!ParseArguments(args, desc, error, help)) {
        std::fprintf(stderr, "make-test-disc: %s\n%s", qPrintable(error),
                     "Try 'make-test-disc --help'.\n");
        return 2;
    }
    if (help) {
        std::fputs(qPrintable(UsageText()), stdout);
        return 0;
    }

    const QFileInfo base(desc.OutBase);
    const QString binPath = desc.OutBase + QStringLiteral(".bin");
    const QString cuePath = desc.OutBase + QStringLiteral(".cue");
    // The bin goes first: a reader that sees the cue sheet then finds its data complete.
    if (!WriteBin(desc, binPath, error)) {
        std::fprintf(stderr, "make-test-disc: cannot write %s: %s\n", qPrintable(binPath), qPrintable(error));
        return 1;
    }
    if (!WriteCue(BuildCueSheet(desc, base.fileName() + QStringLiteral(".bin")), cuePath, error)) {
        std::fprintf(stderr, "make-test-disc: cannot write %s: %s\n", qPrintable(cuePath), qPrintable(error));
        return 1;
    }
    return 0;
}
