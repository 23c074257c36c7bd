#!/usr/bin/env bash
# Runs orvanta-cli ($ORVANTA_CLI) under Valgrind's memcheck: any memory error or leak makes the
# command fail with status 99, so the command-line tests fail with it.
exec valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=all \
  --errors-for-leak-kinds=definite,indirect,possible "$ORVANTA_CLI" "$@"
