#include "qor_importGltf.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

namespace
{
uint32_t u32(const std::string & s, size_t n)
{
    return uint32_t(uint8_t(s[n])) | uint32_t(uint8_t(s[n + 1])) << 8 | uint32_t(uint8_t(s[n + 2])) << 16 |
           uint32_t(uint8_t(s[n + 3])) << 24;
}

// What a JSON container is, as far as the node hierarchy goes.
enum eRole
{
    e_other,
    e_root,     // the document's object
    e_nodes,    // its "nodes" array
    e_node,     // one node object
    e_children, // a node's "children" array
};

struct sFrame
{
    bool m_bObject = false;
    eRole m_eRole = e_other;
    size_t m_nIndex = 0;  // arrays: the element being read
    size_t m_nNode = 0;   // a node object and its children array: the node's index
    std::string m_strKey; // objects: the key whose value is being read
    bool m_bKey = true;   // objects: a key comes next
};
} // namespace

bool qoru_importIsGltf(const std::string & strPath, const std::string & strHead)
{
    std::string ext;
    const size_t nDot = strPath.find_last_of('.');
    if (nDot != std::string::npos && strPath.find('/', nDot) == std::string::npos)
        ext = strPath.substr(nDot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext == "gltf" || ext == "glb" || strHead.compare(0, 4, "glTF") == 0;
}

bool qoru_importCheckGltf(const std::string & strData, std::string * pstrWhy)
{
    // A binary glTF: 12-byte header, then chunks of (length, type, data); the first is the JSON.
    size_t nBegin = 0, nEnd = strData.size();
    if (strData.size() >= 20 && strData.compare(0, 4, "glTF") == 0)
    {
        if (u32(strData, 16) != 0x4E4F534Au)
            return true;
        nBegin = 20;
        nEnd = std::min<size_t>(strData.size(), nBegin + u32(strData, 12));
    }
    std::vector<sFrame> stack;
    std::vector<std::vector<size_t>> children;
    size_t nNodes = 0;
    for (size_t i = nBegin; i < nEnd; ++i)
    {
        const char c = strData[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ':')
        {
            if (c == ':' && !stack.empty())
                stack.back().m_bKey = false;
            continue;
        }
        if (c == '{' || c == '[')
        {
            if (stack.size() >= kQorImportMaxJsonDepth)
            {
                *pstrWhy = "its JSON nests deeper than " + std::to_string(kQorImportMaxJsonDepth) + " levels";
                return false;
            }
            sFrame f;
            f.m_bObject = c == '{';
            if (stack.empty())
                f.m_eRole = f.m_bObject ? e_root : e_other;
            else
            {
                const sFrame & up = stack.back();
                if (f.m_bObject && up.m_eRole == e_nodes)
                {
                    f.m_eRole = e_node;
                    f.m_nNode = up.m_nIndex;
                    nNodes = std::max(nNodes, up.m_nIndex + 1);
                }
                else if (!f.m_bObject && up.m_eRole == e_root && up.m_strKey == "nodes")
                    f.m_eRole = e_nodes;
                else if (!f.m_bObject && up.m_eRole == e_node && up.m_strKey == "children")
                {
                    f.m_eRole = e_children;
                    f.m_nNode = up.m_nNode;
                }
            }
            stack.push_back(f);
            continue;
        }
        if (c == '}' || c == ']')
        {
            if (stack.empty())
                return true;
            stack.pop_back();
            if (stack.empty())
                break;
            continue;
        }
        if (stack.empty())
            return true;
        sFrame & top = stack.back();
        if (c == ',')
        {
            if (top.m_bObject)
                top.m_bKey = true;
            else
                ++top.m_nIndex;
            continue;
        }
        if (c == '"')
        {
            std::string s;
            for (++i; i < nEnd && strData[i] != '"'; ++i)
            {
                if (strData[i] == '\\')
                    ++i;
                else if (top.m_bObject && top.m_bKey && s.size() < 16)
                    s += strData[i];
            }
            if (top.m_bObject && top.m_bKey)
                top.m_strKey = s;
            continue;
        }
        // A number or a literal.
        size_t j = i;
        while (j < nEnd && (std::isalnum(static_cast<unsigned char>(strData[j])) || std::strchr("+-.", strData[j])))
            ++j;
        if (top.m_eRole == e_children && j > i && std::isdigit(static_cast<unsigned char>(c)))
        {
            size_t n = 0;
            for (size_t k = i; k < j && std::isdigit(static_cast<unsigned char>(strData[k])) && n < (size_t(1) << 40);
                 ++k)
                n = n * 10 + size_t(strData[k] - '0');
            if (children.size() <= top.m_nNode)
                children.resize(top.m_nNode + 1);
            children[top.m_nNode].push_back(n);
        }
        i = j > i ? j - 1 : i;
    }
    children.resize(std::max(children.size(), nNodes));
    // Depth first from every node, without recursion: a node met again while it is on the path
    // is its own ancestor; a node's height (1 for a leaf) is 1 + its highest child's.
    std::vector<uint8_t> state(children.size(), 0); // 0 unseen, 1 on the path, 2 done
    std::vector<size_t> height(children.size(), 0);
    std::vector<std::pair<size_t, size_t>> path; // node, next child to visit
    for (size_t nStart = 0; nStart < children.size(); ++nStart)
    {
        if (state[nStart])
            continue;
        state[nStart] = 1;
        path.emplace_back(nStart, 0);
        while (!path.empty())
        {
            const size_t n = path.back().first;
            if (path.back().second == children[n].size())
            {
                size_t nHeight = 1;
                for (size_t nChild : children[n])
                    if (nChild < children.size())
                        nHeight = std::max(nHeight, height[nChild] + 1);
                if (nHeight > kQorImportMaxNodeDepth)
                {
                    *pstrWhy = "its nodes nest deeper than " + std::to_string(kQorImportMaxNodeDepth) + " levels";
                    return false;
                }
                height[n] = nHeight;
                state[n] = 2;
                path.pop_back();
                continue;
            }
            const size_t nChild = children[n][path.back().second++];
            if (nChild >= children.size() || state[nChild] == 2)
                continue;
            if (state[nChild] == 1)
            {
                *pstrWhy = "node " + std::to_string(nChild) + " is its own ancestor";
                return false;
            }
            state[nChild] = 1;
            path.emplace_back(nChild, 0);
        }
    }
    return true;
}
