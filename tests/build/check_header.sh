#!/bin/sh
# Compiles the public header as C99 and as C++ with warnings as errors, before and after a
# header that defines the VISA types under the vendor's guard, and counts its constants.
set -eu
inc="$1"; cc="$2"; cxx="$3"; out="$4"
mkdir -p "$out/vendor"
cat > "$out/vendor/visatype.h" <<'H'
#ifndef __VISATYPE_HEADER__
#define __VISATYPE_HEADER__
typedef unsigned int ViUInt32;
typedef signed int ViInt32;
typedef unsigned short ViUInt16;
typedef signed short ViInt16;
typedef char ViChar;
typedef double ViReal64;
typedef ViInt32 ViStatus;
typedef ViUInt32 ViObject;
typedef ViObject ViSession;
typedef ViUInt32 ViAttr;
typedef ViUInt16 ViBoolean;
typedef ViChar* ViString;
typedef const ViChar* ViConstString;
typedef ViString ViRsrc;
#define VI_NULL 0
#define VI_TRUE 1
#define VI_FALSE 0
#define VI_SUCCESS 0L
#endif
H
printf '#include "ZR48.h"\nint main(void) { return ZR48_ATTR_OUTP_CHAN == 1150058L ? 0 : 1; }\n' > "$out/header_only.c"
printf '#include "visatype.h"\n#include "ZR48.h"\nint main(void) { return 0; }\n' > "$out/vendor_first.c"
printf '#include "ZR48.h"\n#include "visatype.h"\nint main(void) { return 0; }\n' > "$out/vendor_after.c"
flags="-Wall -Wextra -Wpedantic -Werror -I$inc -I$out/vendor"
for src in header_only vendor_first vendor_after; do
  "$cc" -std=c99 $flags -c "$out/$src.c" -o "$out/$src.c.o"
  "$cxx" -std=c++20 -x c++ $flags -c "$out/$src.c" -o "$out/$src.cpp.o"
done
attrs=$(grep -c '^#define ZR48_ATTR_' "$inc/ZR48.h")
vals=$(grep -c '^#define ZR48_VAL_' "$inc/ZR48.h")
errs=$(grep -c '^#define ZR48_ERROR_' "$inc/ZR48.h")
vers=$(grep -cE '^#define ZR48_(CLASS_SPEC_)?(MAJOR|MINOR)_VERSION ' "$inc/ZR48.h")
echo "ZR48_ATTR_: $attrs, ZR48_VAL_: $vals, ZR48_ERROR_: $errs, versions: $vers"
[ "$attrs" -eq 88 ] && [ "$vals" -eq 32 ] && [ "$errs" -eq 1 ] && [ "$vers" -eq 4 ]
