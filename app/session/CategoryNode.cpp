#include "app/session/CategoryNode.h"

namespace tarvik {

const std::vector<CategoryNode>& CategoryNode::tree() {
    static const std::vector<CategoryNode> roots{
        {"Session", {{"Logging", {}}}},
        {"Terminal", {{"Keyboard", {}}}},
        {"Window", {{"Appearance", {}}, {"Colours", {}}}},
        {"Connection", {{"Data", {}}, {"SSH", {{"Authentication", {}}, {"Tunnels", {}}}}, {"Serial", {}}}},
    };
    return roots;
}

} // namespace tarvik
