# Turns a data file into a C++ source holding its bytes.
file(READ ${IN} HEX HEX)
string(LENGTH "${HEX}" LEN)
math(EXPR SIZE "${LEN} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," BYTES "${HEX}")
file(WRITE ${OUT} "#include <cstddef>\nnamespace nwc {\nextern const unsigned char kDemoNetwork[] = {${BYTES} 0};\nextern const std::size_t kDemoNetworkSize = ${SIZE};\n}\n")
