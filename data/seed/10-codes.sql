-- Code tables: levels, value types and phone-book creation flags.
INSERT INTO LEVELS VALUES('E', 'Model default');
INSERT INTO LEVELS VALUES('C', 'Company value');
INSERT INTO LEVELS VALUES('P', 'Telephone value');
INSERT INTO LEVELS VALUES('D', 'Derived, not stored');
INSERT INTO TYPES VALUES('S', 'Text');
INSERT INTO TYPES VALUES('N', 'Number');
INSERT INTO TYPES VALUES('B', 'Yes/No (0 or 1)');
INSERT INTO TYPES VALUES('I', 'IP address');
INSERT INTO CREATION_FLAGS VALUES('W', 'Work In Progress', 'Y');
INSERT INTO CREATION_FLAGS VALUES('D', 'Deleted', 'Y');
INSERT INTO CREATION_FLAGS VALUES('V', 'Validated', 'N');
INSERT INTO CREATION_FLAGS VALUES('H', 'Hidden from the phone book', 'N');
