# Empties the tests' temporary folder before a run: whatever a crashed test
# left there goes, and nothing of the tests ever lands in the system's /tmp.
file(REMOVE_RECURSE "${DIR}")
file(MAKE_DIRECTORY "${DIR}/runtime")
file(CHMOD "${DIR}/runtime" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
