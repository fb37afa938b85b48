"""zr48-api.json against the public header and the library, checked by the C compiler itself.

Every prototype the JSON describes is declared again from the JSON next to the header: a type,
a parameter count or a return type that differs is a "conflicting types" error. Every constant
is compared by _Static_assert. The lists are compared with the preprocessed header and with the
library's exported symbols, so that nothing is missing from the JSON.
"""
import json
import os
import re
import shutil
import subprocess
from pathlib import Path

import pytest

HEADER = Path(os.environ["ZR48_HEADER"])
API_JSON = Path(os.environ["ZR48_API_JSON"])
LIBRARY = Path(os.environ["ZR48_LIBRARY"])
GENERATOR = Path(os.environ["ZR48_API_GENERATOR"])
CC = os.environ.get("CC", "cc")


@pytest.fixture(scope="module")
def api():
    return json.loads(API_JSON.read_text())


def compile_c(source: str, tmp_path: Path) -> subprocess.CompletedProcess:
    path = tmp_path / "check.c"
    path.write_text(source)
    return subprocess.run(
        [CC, "-std=c11", "-Wall", "-Werror", "-fsyntax-only", "-I", str(HEADER.parent), str(path)],
        capture_output=True, text=True, check=False)


def declaration(function: dict) -> str:
    parameters = []
    for parameter in function["parameters"]:
        base, bound = re.fullmatch(r"(.*?)(\[\d*\])?", parameter["type"]).groups()
        parameters.append(f"{base} {parameter['name']}{bound or ''}")
    return f"{function['returns']} {function['name']}({', '.join(parameters) or 'void'});"


def test_every_prototype_and_constant_compiles_against_the_header(api, tmp_path):
    lines = ['#include "ZR48.h"']
    lines += [declaration(function) for function in api["functions"]]
    for constant in api["constants"]:
        lines.append(f'_Static_assert(({constant["name"]}) == {constant["value"]}LL, "{constant["name"]}");')
    for attribute in api["attributes"]:
        lines.append(f'_Static_assert(({attribute["name"]}) == {attribute["id"]}L, "{attribute["name"]}");')
    result = compile_c("\n".join(lines) + "\n", tmp_path)
    assert result.returncode == 0, result.stderr


def test_a_wrong_type_in_the_json_would_be_caught(api, tmp_path):
    # The check above must be able to fail: one parameter's type changed.
    function = dict(next(f for f in api["functions"] if f["name"] == "ZR48_SetVoltage"))
    function["parameters"] = [dict(p) for p in function["parameters"]]
    function["parameters"][1]["type"] = "ViInt32"
    result = compile_c('#include "ZR48.h"\n' + declaration(function) + "\n", tmp_path)
    assert result.returncode != 0
    assert "conflicting types" in result.stderr


def test_the_json_lists_every_function_of_the_header_and_the_library(api):
    preprocessed = subprocess.run([CC, "-E", "-P", str(HEADER)], capture_output=True, text=True,
                                  check=True).stdout
    in_header = set(re.findall(r"\b(ZR48_\w+)\s*\(", preprocessed))
    nm = subprocess.run(["nm", "-D", "--defined-only", str(LIBRARY)], capture_output=True,
                        text=True, check=True).stdout
    exported = {line.split()[-1] for line in nm.splitlines() if " T ZR48_" in line}
    described = [function["name"] for function in api["functions"]]
    assert len(described) == len(set(described))
    assert set(described) == in_header
    assert set(described) == exported


def test_the_json_lists_every_constant_of_the_header(api):
    macros = subprocess.run([CC, "-dM", "-E", str(HEADER)], capture_output=True, text=True,
                            check=True).stdout
    defined = set(re.findall(r"^#define (ZR48_\w+) ", macros, re.M)) - {"ZR48_HEADER", "ZR48_STATUS_HEADER", "ZR48_API"}
    assert {constant["name"] for constant in api["constants"]} == defined
    attributes = {name for name in defined if name.startswith("ZR48_ATTR_")}
    assert {attribute["name"] for attribute in api["attributes"]} == attributes


def test_parameters_say_how_each_buffer_is_sized(api):
    functions = {function["name"]: function for function in api["functions"]}
    for function in api["functions"]:
        names = {parameter["name"] for parameter in function["parameters"]}
        for parameter in function["parameters"]:
            is_buffer = parameter["type"].startswith("ViChar[")
            assert ("buffer" in parameter) == (is_buffer and parameter["direction"] == "out"), \
                (function["name"], parameter["name"])
            rule = parameter.get("buffer", {})
            if "size_parameter" in rule:
                assert rule["size_parameter"] in names
    reply = functions["ZR48_MeasVolt"]["parameters"][1]
    assert reply["buffer"] == {"rule": "fixed", "size": 512}
    description = functions["ZR48_GetError"]["parameters"][3]
    assert description["buffer"] == {"rule": "ivi", "size_parameter": "bufferSize"}
    assert functions["ZR48_MeasVolt"]["instrument"]["command"] == "MEAS:VOLT?"


@pytest.mark.parametrize("edit,message", [
    (("ViConstString inputStr,\n                                  ViConstString channel_name);",
      "ViInt32 inputStr,\n                                  ViConstString channel_name);"),
     "ZR48_SetCurrent: inputStr is ViInt32"),
    (("ZR48_API ViStatus ZR48_SetTrig(ViSession instrumentHandle);\n", ""),
     "ZR48_SetTrig is not in the header"),
    (("#define ZR48_ATTR_OUTP_CHAN 1150058L\n", ""), "ZR48_ATTR_OUTP_CHAN not in header"),
], ids=["parameter_type", "missing_prototype", "missing_attribute"])
def test_the_generator_refuses_a_header_that_disagrees_with_the_tables(tmp_path, edit, message):
    text = HEADER.read_text()
    assert edit[0] in text
    header = tmp_path / "ZR48.h"
    header.write_text(text.replace(edit[0], edit[1], 1))
    shutil.copy(HEADER.parent / "zr48_visatype.h", tmp_path)
    output = tmp_path / "api.json"
    result = subprocess.run([str(GENERATOR), str(header), str(output)], capture_output=True,
                            text=True, check=False)
    assert result.returncode == 1
    assert message in result.stderr
    assert not output.exists()
