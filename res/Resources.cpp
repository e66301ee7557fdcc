// Resource tables.
