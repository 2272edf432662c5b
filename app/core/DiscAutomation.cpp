#include "app/core/DiscAutomation.h"

#include "jobs/JobBase.h"
#include "metadata/CddbInfo.h"
#include "settings/CDInfo.h"
#include "settings/Options.h"

#include <algorithm>

bool DiscTitlesKnown(const TCDInfo& info, const QVector<int>& trackNumbers)
{
    if (!info.Artist.trimmed().isEmpty() || !info.Album.trimmed().isEmpty())
        return true;
    return std::any_of(trackNumbers.begin(), trackNumbers.end(), [&info](int t) {
        if (t < 0 || t >= int(info.Titles.size()))
            return false;
        const QString title = info.Titles[size_t(t)].trimmed();
        return !title.isEmpty() && title != DefaultTrackTitle(t);
    });
}

bool LookUpSingleMatch(TCddbTocSource& toc, const TQueryCDDB& server, TCDDBAlbum& album)
{
    TCDDBInfo info;
    info.Server = server.Server;
    info.Script = server.Script;
    info.Http.UseProxy = server.UseProxy;
    info.Http.ProxyAddress = server.ProxyAddress;
    info.Http.ProxyPort = server.Port;
    info.SetCDIn(&toc);
    // 200: the one exact match, read at once; 210 and 211 list several.
    constexpr int SingleExactMatch = 200;
    if (info.Query() != SingleExactMatch || !info.HasEntry())
        return false;
    album = info.AlbumRecord();
    return true;
}

bool ShouldRipOnArrival(const TCommonOptions& options, bool titlesKnown, bool anyTicked, bool busy)
{
    return options.AutoRip == 1 && titlesKnown && anyTicked && !busy;
}

bool RippedEveryTrack(const TJobBase& job)
{
    const QVector<TEntryResult>& results = job.Results();
    return job.Done() && !job.WasStopped() && !results.isEmpty()
           && std::all_of(results.begin(), results.end(), [](const TEntryResult& r) { return r.Produced; });
}

bool ShouldEjectAfter(const TCommonOptions& options, const TJobBase& job)
{
    return options.EjectWhenDone == 1 && RippedEveryTrack(job);
}
