# Tests of platform/.
