// Members of ISonalter2 whose transforms are not built yet. They are in the
// interface and the dispatch table from the start and answer E_NOTIMPL until
// their own files replace these lines.
#include "transform/Sonalter2.h"

namespace qelv {


}  // namespace qelv
