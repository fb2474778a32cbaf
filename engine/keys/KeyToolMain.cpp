#include "engine/keys/KeyTool.h"

int main(int argc, char** argv) {
    return tarvik::runKeyTool(std::vector<std::string>(argv + 1, argv + argc));
}
