// The user's proxy settings as the prefix holds them: a configuration script served on
// loopback sends some addresses through a proxy and the rest direct; a script that fails
// or never returns leaves requests direct within the time limit. The settings belong to
// the prefix, which every test program shares, so these tests run alone (the ctest
// entry feed_proxy_settings sets QM_PROXY_SETTINGS_TESTS) and are skipped elsewhere.
#include "support/httpserver.h"
#include <gtest/gtest.h>
#include "core/settings.h"
#include "feed/download.h"
#include "feedtest.h"
#include "support/testhost.h"

namespace {

const char c_szConnections[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
const char c_szValue[] = "DefaultConnectionSettings";

// The user's proxy settings for the test's life: a static proxy with its bypass list, or
// a configuration script; what was there before comes back after.
class ProxySetting {
public:
    static ProxySetting Script(const std::wstring& url) { return ProxySetting(4, "", "", url); }
    static ProxySetting Static(const std::string& proxy, const std::string& bypass) {
        return ProxySetting(2, proxy, bypass, L"");
    }
    ~ProxySetting() {
        if (m_bHadValue)
            RegSetValueExA(m_hKey, c_szValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(m_old.data()),
                           static_cast<DWORD>(m_old.size()));
        else
            RegDeleteValueA(m_hKey, c_szValue);
        RegCloseKey(m_hKey);
    }
    ProxySetting(const ProxySetting&) = delete;
    ProxySetting& operator=(const ProxySetting&) = delete;

private:
    ProxySetting(DWORD dwKind, const std::string& proxy, const std::string& bypass, const std::wstring& scriptUrl) {
        RegCreateKeyExA(HKEY_CURRENT_USER, c_szConnections, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &m_hKey,
                        nullptr);
        DWORD cb = 0;
        m_bHadValue = RegQueryValueExA(m_hKey, c_szValue, nullptr, nullptr, nullptr, &cb) == ERROR_SUCCESS;
        m_old.resize(cb);
        if (m_bHadValue && cb)
            RegQueryValueExA(m_hKey, c_szValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&m_old[0]), &cb);
        // Version, change counter, flags (direct, plus a proxy 2 or a script 4), then
        // counted texts: the proxy, the bypass list, the script's address.
        std::string url(scriptUrl.begin(), scriptUrl.end());
        std::string blob;
        auto dword = [&blob](DWORD v) { blob.append(reinterpret_cast<const char*>(&v), 4); };
        auto text = [&](const std::string& t) {
            dword(static_cast<DWORD>(t.size()));
            blob += t;
        };
        dword(0x46);
        dword(0);
        dword(1 | dwKind);
        text(proxy);
        text(bypass);
        text(url);
        blob.append(32, '\0');
        RegSetValueExA(m_hKey, c_szValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(blob.data()),
                       static_cast<DWORD>(blob.size()));
    }

    HKEY m_hKey = nullptr;
    bool m_bHadValue = false;
    std::string m_old;
};

HttpResponse Feed(const char* szTitle) {
    HttpResponse r;
    r.body = MakeRss(1, szTitle);
    return r;
}

HttpResponse Script(const std::string& text) {
    HttpResponse r;
    r.contentType = "application/x-ns-proxy-autoconfig";
    r.body = text;
    return r;
}

struct UserProxySettings : testing::Test {
    _DOCKLET_DATA* pData = nullptr;
    void SetUp() override {
        if (!GetEnvironmentVariableA("QM_PROXY_SETTINGS_TESTS", nullptr, 0))
            GTEST_SKIP() << "changes the prefix's proxy settings; run alone as feed_proxy_settings";
        ResetHost();
    }
    void TearDown() override {
        if (pData) FreeFeedRecord(pData);
        SetFeedTimeLimit(FEED_TIME_LIMIT_MS);
    }
    bool Fetch(const std::wstring& url) {
        if (!pData) pData = NewFeedRecord(url);
        CopyText(pData->profiles.GetAt(0)->szURL, 2049, url.c_str());
        pData->profiles.GetAt(0)->szTitle[0] = 0;
        return RetrieveFeed(pData);
    }
};

}  // namespace

TEST_F(UserProxySettings, AScriptSendsSomeAddressesThroughAProxy) {
    HttpServer proxy(Feed("Through the proxy")), site(Feed("Direct"));
    HttpServer scripts(Script("function FindProxyForURL(url, host) { return shExpMatch(url, \"*/via/*\") ? "
                              "\"PROXY 127.0.0.1:" + std::to_string(proxy.Port()) + "\" : \"DIRECT\"; }"));
    ProxySetting setting = ProxySetting::Script(scripts.Url("/proxy.pac"));
    ASSERT_TRUE(Fetch(L"http://feed.invalid/via/feed"));
    EXPECT_STREQ(pData->profiles.GetAt(0)->szTitle, L"Through the proxy");
    ASSERT_EQ(proxy.Requests().size(), 1u);
    // The proxy is asked for the whole address (the port may be written out).
    std::string path = proxy.Requests()[0].path;
    EXPECT_EQ(path.rfind("http://feed.invalid", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 9), "/via/feed") << path;
    ASSERT_TRUE(Fetch(site.Url("/feed")));
    EXPECT_STREQ(pData->profiles.GetAt(0)->szTitle, L"Direct");
    EXPECT_EQ(proxy.Requests().size(), 1u);
    EXPECT_TRUE(CapturedMessages().empty());
}

TEST_F(UserProxySettings, AStaticProxyIsUsedButForTheBypassList) {
    HttpServer proxy(Feed("Through the proxy")), site(Feed("Direct"));
    ProxySetting setting = ProxySetting::Static("127.0.0.1:" + std::to_string(proxy.Port()), "127.0.0.1");
    ASSERT_TRUE(Fetch(L"http://feed.invalid/feed"));
    EXPECT_STREQ(pData->profiles.GetAt(0)->szTitle, L"Through the proxy");
    ASSERT_TRUE(Fetch(site.Url("/feed")));
    EXPECT_STREQ(pData->profiles.GetAt(0)->szTitle, L"Direct");
    EXPECT_EQ(proxy.Requests().size(), 1u);
}

TEST_F(UserProxySettings, AScriptThatFailsOrNeverAnswersLeavesRequestsDirect) {
    HttpServer site(Feed("Direct"));
    HttpResponse missing;
    missing.status = 404;
    HttpServer gone(missing);
    {
        ProxySetting setting = ProxySetting::Script(gone.Url("/proxy.pac"));
        EXPECT_TRUE(Fetch(site.Url("/feed")));
    }
    FreeFeedRecord(pData);
    pData = nullptr;
    // A script that loops: the request goes direct once the script's share of the time
    // limit is over, and the session does not run it again.
    HttpServer loops(Script("function FindProxyForURL(url, host) { for (;;) {} }"));
    ProxySetting setting = ProxySetting::Script(loops.Url("/proxy.pac"));
    SetFeedTimeLimit(4000);
    DWORD dwStart = GetTickCount();
    EXPECT_TRUE(Fetch(site.Url("/feed")));
    EXPECT_LT(GetTickCount() - dwStart, 4000u);
    dwStart = GetTickCount();
    EXPECT_TRUE(Fetch(site.Url("/again")));
    EXPECT_LT(GetTickCount() - dwStart, 900u);
    EXPECT_TRUE(CapturedMessages().empty());
}
