# Writes the file INPUT as a C++ raw string literal into OUTPUT (cmake -P).
file(READ ${INPUT} content)
file(WRITE ${OUTPUT} "R\"zr48json(${content})zr48json\"\n")
