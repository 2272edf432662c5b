#include "audio/VorbisTags.h"

const std::array<const char*, TVorbisTags::FieldCount> TVorbisTags::FieldNames = {
    "album", "artist", "date", "genre", "title", "tracknumber", "discnumber",
    "replaygain_reference_loudness", "replaygain_track_gain", "replaygain_track_peak",
    "replaygain_album_gain", "replaygain_album_peak", "comment",
};

bool TVorbisTags::IsEmpty() const
{
    for (const QString& v : FValues)
        if (!v.isEmpty())
            return false;
    return true;
}

int TVorbisTags::IndexOf(const QString& Name)
{
    for (int i = 0; i < FieldCount; ++i)
        if (Name.compare(QLatin1String(FieldNames[size_t(i)]), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString TVorbisTags::ValueOf(const QString& Name) const
{
    const int i = IndexOf(Name);
    return i < 0 ? QString() : FValues[size_t(i)];
}

bool TVorbisTags::SetValueOf(const QString& Name, const QString& Text)
{
    const int i = IndexOf(Name);
    if (i < 0)
        return false;
    FValues[size_t(i)] = Text;
    return true;
}
