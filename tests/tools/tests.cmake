# Tests of tools/.
