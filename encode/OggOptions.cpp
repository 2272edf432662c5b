#include "encode/OggOptions.h"
#include "encode/RipCover.h"
#include "settings/CDInfo.h"
#include "settings/Options.h"
#include <array>

namespace {

// One entry per item of OggBitRateTexts, in the same order.
constexpr std::array<TVorbisBitRate, OGG_BITRATE_COUNT> ListBitRates = {
    brAutoSelect, bitrate45, bitrate48, bitrate56, bitrate64, bitrate80, bitrate96,
    bitrate112, bitrate128, bitrate144, bitrate160, bitrate192, bitrate224, bitrate256,
    bitrate320,
};

} // namespace

TVorbisBitRate OggBitRateOfIndex(int Index)
{
    return Index >= 0 && Index < OGG_BITRATE_COUNT ? ListBitRates[size_t(Index)] : brAutoSelect;
}

void ApplyOggOptions(TVorbisOut& Encoder)
{
    ApplyOggOptions(Encoder, OptionsSetting);
}

float OggCompression(const TOptionsSetting& Settings)
{
    const TOggOptions& o = Settings.OggOptions;
    return o.IsUseCompress ? float(o.CompressPosition - 10) / 100.0f : 0.2f;
}

void ApplyOggOptions(TVorbisOut& Encoder, const TOptionsSetting& Settings)
{
    const TOggOptions& ogg = Settings.OggOptions;
    if (ogg.IsUseCompress) {
        Encoder.SetCompression(float(ogg.CompressPosition - 10) / 100.0f);
        Encoder.SetDesiredMaximumBitrate(brAutoSelect);
        Encoder.SetDesiredNominalBitrate(brAutoSelect);
        Encoder.SetMinimumBitrate(brAutoSelect);
    } else {
        // Maximum first: while the nominal is still automatic it is ignored, and the
        // nominal then raises it to itself.
        Encoder.SetDesiredMaximumBitrate(OggBitRateOfIndex(ogg.MaxBitRate));
        Encoder.SetDesiredNominalBitrate(OggBitRateOfIndex(ogg.NomalBitRate));
        Encoder.SetMinimumBitrate(OggBitRateOfIndex(ogg.MinBitRate));
        Encoder.SetCompression(0.2f);
    }
    SetOggDiscComments(Encoder.Comments(), Settings);
}

void SetOggDiscComments(TVorbisTags& Tags)
{
    SetOggDiscComments(Tags, OptionsSetting);
}

void SetOggDiscComments(TVorbisTags& Tags, const TOptionsSetting& Settings)
{
    Tags.Clear();
    if (!Settings.ID3Use)
        return;
    const TCDInfo& info = Settings.CDInfo;
    Tags.SetArtist(info.Artist);
    Tags.SetAlbum(info.Album);
    Tags.SetDate(info.Year);
    // The genre's ID3v1 number; a disc without a genre has no genre comment (not 255).
    if (info.Genre >= 0 && info.Genre < GENRE_COUNT)
        Tags.SetGenre(QString::number(GenreToId3(info.Genre + 1)));
    Tags.SetTitle(info.Comment);
}

void ApplyOggRipComments(TVorbisOut& Encoder, const QString& Title, int TrackNumber)
{
    ApplyOggRipComments(Encoder, OptionsSetting, Title, TrackNumber);
}

void ApplyOggRipComments(TVorbisOut& Encoder, const TOptionsSetting& Settings, const QString& Title, int TrackNumber)
{
    SetOggDiscComments(Encoder.Comments(), Settings);
    Encoder.SetExtraComments({RipCoverComment(Settings)});
    if (!Settings.ID3Use)
        return;
    TVorbisTags& tags = Encoder.Comments();
    tags.SetTitle(Title);
    tags.SetTrack(QString::number(TrackNumber));
    tags.SetComment(Settings.CDInfo.Comment);
}

void ApplyOggOptions(TVorbisOut& Encoder, const QString& Title, int TrackNumber)
{
    ApplyOggOptions(Encoder);
    ApplyOggRipComments(Encoder, Title, TrackNumber);
}
