# Benchmark harness of the transfer run.
