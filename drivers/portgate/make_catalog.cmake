# Writes a driver package's catalog: the SHA-256 of each file of the package.
#   cmake -DCATALOG=<out.cat> -DFILES=<file>|<file>|... -P make_catalog.cmake
string(REPLACE "|" ";" files "${FILES}")
set(text "[Catalog]\r\nAlgorithm=SHA256\r\n\r\n[Files]\r\n")
foreach(file IN LISTS files)
  file(SHA256 "${file}" hash)
  get_filename_component(name "${file}" NAME)
  string(TOUPPER "${hash}" hash)
  string(APPEND text "${name}=${hash}\r\n")
endforeach()
file(WRITE "${CATALOG}.tmp" "${text}")
file(RENAME "${CATALOG}.tmp" "${CATALOG}")
