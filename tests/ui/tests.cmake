# Tests of ui/.
