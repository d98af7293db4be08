# End-to-end tests: window.
