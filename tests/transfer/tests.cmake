# Tests of transfer/.
