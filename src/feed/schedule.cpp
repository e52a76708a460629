#include "feed/schedule.h"
#include <algorithm>
#include <cwchar>
#include <string>
#include "core/u16.h"
#include "feed/parser.h"
#include "text/refreshperiod.h"

using qm::CheckHr;
using qm::ComPtr;
using qm::UniqueBstr;

namespace {

const wchar_t c_szSyndicationNamespace[] = L"http://purl.org/rss/1.0/modules/syndication/";
// Longer texts are no number or period name; what is kept of them is enough to tell.
const size_t c_cchMaxValue = 64;

std::wstring TextOfNode(IXMLDOMNode* pNode) {
    UniqueBstr bstrText;
    CheckHr(pNode->get_text(bstrText.put()));
    if (!bstrText) return std::wstring();
    return std::wstring(bstrText.get(), std::min<size_t>(SysStringLen(bstrText.get()), c_cchMaxValue));
}

}  // namespace

int GetFeedRuleMinutes(IXMLDOMDocument* pDoc, const wchar_t* szContainer) {
    try {
        ComPtr<IXMLDOMElement> pContainer = GetFeedContainer(pDoc, szContainer);
        if (!pContainer) return 0;
        std::wstring ttl, period, frequency;
        ComPtr<IXMLDOMNode> pNode;
        CheckHr(pContainer->get_firstChild(pNode.put()));
        while (pNode) {
            DOMNodeType type = NODE_INVALID;
            CheckHr(pNode->get_nodeType(&type));
            if (type == NODE_ELEMENT) {
                UniqueBstr bstrName, bstrNamespace;
                CheckHr(pNode->get_baseName(bstrName.put()));
                CheckHr(pNode->get_namespaceURI(bstrNamespace.put()));
                const wchar_t* szName = bstrName ? bstrName.get() : L"";
                const wchar_t* szNamespace = bstrNamespace ? bstrNamespace.get() : L"";
                // The first of each counts.
                if (!*szNamespace && wcscmp(szName, L"ttl") == 0 && ttl.empty()) {
                    ttl = TextOfNode(pNode.get());
                } else if (wcscmp(szNamespace, c_szSyndicationNamespace) == 0) {
                    if (wcscmp(szName, L"updatePeriod") == 0 && period.empty()) period = TextOfNode(pNode.get());
                    if (wcscmp(szName, L"updateFrequency") == 0 && frequency.empty())
                        frequency = TextOfNode(pNode.get());
                }
            }
            ComPtr<IXMLDOMNode> pNext;
            CheckHr(pNode->get_nextSibling(pNext.put()));
            pNode = pNext;
        }
        return FeedRuleMinutes(AsU16(ttl), AsU16(period), AsU16(frequency));
    } catch (const qm::FeedError&) {
        return 0;
    }
}
