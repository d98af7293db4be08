# End-to-end tests: foundation.
