// A hostile or merely untidy feed title, from the download into an empty profile title
// to the dock's settings file through OnSave: the file keeps its sections, and the
// title stays on its own line.
#include "support/httpserver.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "app/entry.h"
#include "core/record.h"
#include "core/settings.h"
#include "feed/download.h"
#include "feed/parser.h"
#include "support/testhost.h"

namespace {

std::string Rss(const std::string& title) {
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + title +
           "</title><item><title>i</title><link>http://example.com/1</link></item></channel></rss>";
}

std::vector<std::string> Headers(const std::string& bytes) {
    std::vector<std::string> out;
    for (size_t at = 0; at < bytes.size(); at = bytes.find('\n', at) + 1) {
        if (bytes[at] == '[') out.push_back(bytes.substr(at, bytes.find('\r', at) - at));
        if (bytes.find('\n', at) == std::string::npos) break;
    }
    return out;
}

}  // namespace

TEST(SettingsFile, FeedTitlesNeverChangeTheFilesStructure) {
    struct Case {
        std::string feed;
        std::wstring title;  // as stored and loaded again
    } cases[] = {
        {Rss("Evil&#13;&#10;[Injected]&#13;&#10;Key=1"), L"Evil  [Injected]  Key=1"},
        {Rss("\n    My Blog\n    News\n  "), L"My Blog     News"},
        {Rss("lone&#13;CR"), L"lone CR"},
        {Rss("lone&#10;LF"), L"lone LF"},
        {Rss("&#13;&#10;[Section]"), L"[Section]"},
        {Rss("&#10;Key=Value&#10;"), L"Key=Value"},
        {Rss("&#10;;comment"), L";comment"},
        {"<feed xmlns=\"http://www.w3.org/2005/Atom\"><title type=\"html\">A&#13;&#10;&lt;b&gt;B&lt;/b&gt;</title>"
         "<entry><title>e</title></entry></feed>",
         L"A  <b>B</b>"},
        // Not well-formed: the download fails and the title stays empty.
        {Rss("nul&#0;here"), L""},
    };
    std::vector<std::string> bodies;
    for (const Case& c : cases) bodies.push_back(c.feed);
    HttpServer server([&](const HttpRequest& request) {
        HttpResponse response;
        response.body = bodies[static_cast<size_t>(atoi(request.path.c_str() + 1))];
        return response;
    });
    const std::string folder = MakeTempFolder("settingsfile"), ini = folder + "dock.ini";
    const std::string before = "[General]\r\nVersion=1.9\r\n[Docklet1]\r\nFileName=Docklets\\Quillmere\\q.dll\r\n";
    const std::string after = "[Docklet2]\r\nTitle=Weather\r\n";
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        FILE* f = fopen(ini.c_str(), "wb");
        fputs((before + after).c_str(), f);
        fclose(f);
        _DOCKLET_DATA* pData = NewDockletRecord();
        LoadSettings(pData, nullptr, nullptr);
        _PROFILE_DATA* pProfile = NewProfile();
        CopyText(pProfile->szURL, 2049, server.Url(("/" + std::to_string(i)).c_str()).c_str());
        CopyText(pProfile->szMenuIcon, 270, L"m.png");
        pData->profiles.Add(pProfile);
        pData->iProfileCount = 1;
        pData->iCurrentProfile = 0;
        RetrieveFeed(pData);
        EXPECT_EQ(pProfile->szTitle, cases[i].title);
        OnSave(pData, const_cast<char*>(ini.c_str()), const_cast<char*>("Docklet1"), FALSE);
        FreeProfiles(pData->profiles);
        FreeFeedItems(pData->items);

        const std::string bytes = ReadFileBytes(std::wstring(ini.begin(), ini.end()));
        EXPECT_EQ(Headers(bytes), (std::vector<std::string>{"[General]", "[Docklet1]", "[Docklet2]"}));
        EXPECT_EQ(bytes.substr(0, before.size()), before);
        EXPECT_EQ(bytes.substr(bytes.size() - after.size()), after);
        const std::string title = std::string(cases[i].title.begin(), cases[i].title.end());
        EXPECT_NE(bytes.find("\r\nA0-RssFeedTitle=" + title + "\r\nA0-szBackgroundImage="), std::string::npos);
        // Every key is read from the icon's section again, the title as it was stored.
        LoadSettings(pData, std::wstring(ini.begin(), ini.end()).c_str(), L"Docklet1");
        ASSERT_EQ(pData->iProfileCount, 1u);
        EXPECT_EQ(pData->profiles.GetAt(0)->szTitle, cases[i].title);
        EXPECT_STREQ(pData->profiles.GetAt(0)->szMenuIcon, L"m.png");
        EXPECT_EQ(pData->iCurrentProfile, 0);
        EXPECT_EQ(pData->bNotifyNew, 1);
        FreeProfiles(pData->profiles);
        ReleaseDocklet(pData);
    }
}
