#!/usr/bin/python3
"""The order schema against velmoran-send: the schema is a valid draft 2020-12
schema with a description for every member, and for each order below the
schema and the command agree. Valid orders pass both; orders the command
refuses as input errors (exit status 2), among them members the plug-in
reads holding values of another kind, are refused by the schema.

Usage: order_schema_test.py SCHEMA EXAMPLE_ORDER VELMORAN_SEND
Runs with Debian's python3 and python3-jsonschema."""

import json
import os
import subprocess
import sys
import tempfile

import jsonschema

VALID, INPUT_ERROR = "valid", "input error"


def order_with(*positions):
    return '{"order": {"orderPos": [%s]}}' % ", ".join(positions)


# (verdict, order file text). Orders without "zelxport" are sent with --export-dir.
CASES = [
    (VALID, order_with('{"partNo": "A", "quantity": 1}')),
    (VALID, '{"order": {"orderPos": [{"partNo": "A", "quantity": 1}]}, "Param": {"ZELXPORT": "."}}'),
    (VALID, order_with('{"partNo": "X", "missionNo": 0, "remark": "Grüße"}')),
    (VALID, '{"order": {"orderPos": [{"partNo": "A", "quantity": 2.5},'
            ' {"PARTNO": "B", "Quantity": 1e1}]}}'),
    (VALID, '{"order": {"lines": 1, "orderPos": [{"partNo": "A"}, {"partNo": "B"}]}}'),
    (VALID, '{"order": {"orderPos": [{"partNo": "A", "missionNo": " \\t", "remark": "Eilt"}],'
            ' "supplier": {"name": "Velmoran", "dealernumber": 17}, "orderNo": [1, [2]]}}'),
    (VALID, '{"order": {}}'),
    (VALID, '{"order": {"orderPos": []}}'),
    (VALID, '{"order": {"lines": 0, "orderPos": [{"partNo": "A"}]}}'),
    (VALID, '{"ORDER": {"OrderPos": [{"partno": "A", "ean": true, "custNo": 5, "vin": null}],'
            ' "supplier": "Velmoran"}, "param": {}}'),
    (INPUT_ERROR, '[]'),
    (INPUT_ERROR, '{"param": {}}'),
    (INPUT_ERROR, '{"order": {}, "extra": 1}'),
    (INPUT_ERROR, '{"order": [], "param": {}}'),
    (INPUT_ERROR, '{"order": {}, "param": 5}'),
    (INPUT_ERROR, '{"order": {"colour": 1}}'),
    (INPUT_ERROR, order_with('{}', '{"colour": 1}')),
    (INPUT_ERROR, '{"order": {"orderPos": {"partNo": "A"}}}'),
    (INPUT_ERROR, order_with('"A"')),
    (INPUT_ERROR, order_with('{"remark": {"text": "a"}}')),
    (INPUT_ERROR, order_with('{"remark": [1, {}]}')),
    (INPUT_ERROR, '{"order": {"supplier": {"nam": "x"}}}'),
    (INPUT_ERROR, '{"order": {"supplier": {"name": {"first": "x"}}}}'),
    (INPUT_ERROR, '{"order": {"orderNo": {"a": 1}}}'),
    (INPUT_ERROR, '{"order": {}, "param": {"export": "x"}}'),
    (INPUT_ERROR, '{"order": {}, "param": {"zelxport": 5}}'),
    (INPUT_ERROR, '{"order": {}, "param": {"zelxport": ""}}'),
    (INPUT_ERROR, '{"order": {}, "param": {"zelxport": null}}'),
    (INPUT_ERROR, '{"order": {}, "param": {"zelxport": "a\\u0000b"}}'),
    (INPUT_ERROR, order_with('{"partNo": "A", "quantity": "viel"}')),
    (INPUT_ERROR, order_with('{"partNo": "A", "missionNo": "7"}')),
    (INPUT_ERROR, order_with('{"partNo": "A", "missionNo": null}')),
    (INPUT_ERROR, order_with('{"partNo": 17}')),
    (INPUT_ERROR, order_with('{"partNo": "A\\u000bB"}')),
    (INPUT_ERROR, order_with('{"partNo": "A", "remark": "Eilt\\r\\n"}')),
    (INPUT_ERROR, '{"order": {"lines": "1", "orderPos": [{}]}}'),
    (INPUT_ERROR, '{"order": {"lines": 1.5, "orderPos": [{}, {}]}}'),
]


def has_zelxport(document):
    param = next((v for k, v in document.items() if k.lower() == "param"), None)
    return isinstance(param, dict) and any(k.lower() == "zelxport" for k in param)


def run_command(program, text, directory):
    args = [os.path.abspath(program)]
    try:
        if not has_zelxport(json.loads(text)):
            args += ["--export-dir", directory]
    except (ValueError, AttributeError):
        args += ["--export-dir", directory]
    args.append("-")
    result = subprocess.run(args, input=text.encode(), cwd=directory, capture_output=True)
    return result.returncode, os.listdir(directory)


def members_without_description(schema, where="#"):
    missing = []
    if isinstance(schema, dict):
        for pattern, member in schema.get("patternProperties", {}).items():
            if not member.get("description"):
                missing.append(f"{where}/{member.get('title', pattern)}")
        for key, value in schema.items():
            missing += members_without_description(value, f"{where}/{key}")
    elif isinstance(schema, list):
        for value in schema:
            missing += members_without_description(value, where)
    return missing


def main(schema_path, example_path, program):
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    failures = [f"no description: {m}" for m in members_without_description(schema)]

    with open(example_path, encoding="utf-8") as f:
        cases = [(VALID, f.read())] + CASES
    for verdict, text in cases:
        try:
            accepted = validator.is_valid(json.loads(text))
        except ValueError:
            accepted = False
        with tempfile.TemporaryDirectory() as directory:
            status, files = run_command(program, text, directory)
        if verdict == VALID:
            agree = accepted and status in (0, 1, 3)
        else:
            agree = not accepted and status == 2 and not files
        if not agree:
            failures.append(f"{verdict}: schema {'accepts' if accepted else 'refuses'}, "
                            f"exit status {status}: {text}")
    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"{len(cases)} orders, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
