#include "engine/run_state.h"

namespace zara {

RunState gv;
uint8_t cp[kCpCount];
uint8_t cpnm[kCpnmCount];
CountedTable<CondElement, 60> ip;
CountedTable<OutrecItem, 20> op;
CountedTable<KeyField, 20> sp;
CountedTable<SumField, 20> su;
CountedTable<DupField, 20> du;

}  // namespace zara
