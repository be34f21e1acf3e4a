"""A demo lab database for the module's tests: an SQLite file, or a fresh schema on the
PostgreSQL server named by QUANTORA_TEST_PG. Built once per run by `qdb demo`."""
import os
import subprocess
import uuid

import pytest
import quantora


@pytest.fixture(scope="session")
def demo_uri(tmp_path_factory):
    work = tmp_path_factory.mktemp("demo")
    pg = os.environ.get("QUANTORA_TEST_PG")
    schema = None
    if pg:
        schema = "pytest_" + uuid.uuid4().hex[:12]
        with quantora.open(pg) as admin:
            admin.query(f"CREATE SCHEMA {schema}")
        uri = f"{pg}{'&' if '?' in pg else '?'}options=-csearch_path%3D{schema}"
    else:
        uri = str(work / "demo.db")
    subprocess.run([os.environ["QUANTORA_QDB"], "demo", uri], cwd=work, check=True,
                   stdout=subprocess.DEVNULL)
    yield uri
    if schema:
        with quantora.open(pg) as admin:
            admin.query(f"DROP SCHEMA {schema} CASCADE")


@pytest.fixture
def db(demo_uri):
    with quantora.open(demo_uri) as d:
        yield d


@pytest.fixture(scope="session")
def shared_data():
    return os.environ.get("QUANTORA_SHARED_DATA",
                          os.path.join(os.path.dirname(__file__), "../../../shared/data"))
