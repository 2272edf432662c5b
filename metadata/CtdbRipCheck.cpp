#include "metadata/CtdbRipCheck.h"
#include "metadata/CtdbLookup.h"

void TCtdbRipCheck::Begin(const TDiscLayout& disc)
{
    FDisc = disc;
    FRip.Reset(CtdbTocOf(disc));
    FExpected = 1;
    FInTrack = false;
    FBroken = !FRip.Toc().Valid;
}

void TCtdbRipCheck::Add(int track, const uint8_t* data, size_t bytes)
{
    const int audio = FDisc.AudioIndex(track);
    if (FBroken || audio == 0)
        return;
    if (!FInTrack) {
        // A track must start where the one before it ended.
        if (audio != FExpected || FRip.Samples() != FRip.Toc().TrackStarts[size_t(audio - 1)]) {
            FBroken = true;
            return;
        }
        FInTrack = true;
    }
    FRip.Add(data, bytes);
}

void TCtdbRipCheck::EndTrack(int track)
{
    const int audio = FDisc.AudioIndex(track);
    if (FBroken || audio == 0)
        return;
    if (!FInTrack || audio != FExpected) {
        FBroken = true;
        return;
    }
    FInTrack = false;
    ++FExpected;
}

TCtdbVerdict TCtdbRipCheck::Verify(const QString& base, const THttpOptions& http, THttpAbort* abort) const
{
    if (!Complete())
        return {};
    return VerifyWithCtdb(FRip, base, http, abort);
}

QString TCtdbRipCheck::TrackText(const TCtdbVerdict& verdict, int audioTrack)
{
    if (verdict.Status != TCtdbVerdict::Found)
        return verdict.Status == TCtdbVerdict::Off ? QStringLiteral("not checked") : verdict.Text();
    const int confidence = audioTrack >= 1 && size_t(audioTrack) <= verdict.TrackConfidence.size()
                               ? verdict.TrackConfidence[size_t(audioTrack - 1)]
                               : 0;
    return confidence > 0 ? QStringLiteral("verified, confidence %1").arg(confidence) : QStringLiteral("not verified");
}
